#pragma once
// The fingerprint processor: 256 parameters per impression (see
// FingerTemplate.h), the finger's template, and the built-in foreign
// parameters. With a template loaded, impressions and strangers are read in
// the template's frame; without one, each print in its own.

#include <cstdint>
#include <vector>

#include "modules/common/Component.h"
#include "modules/common/Handed.h"
#include "modules/finger/FingerTemplate.h"
#include "nbi/nbModule.h"

namespace Finger {

class FingerProcessor final : public Common::Component<nbIProcessor, IID_nbIProcessor> {
public:
    FingerProcessor();

    uint32_t reserved3() override;
    uint32_t convert(Nb::Matrix** params, uint8_t* const* images, uint32_t count, Nb::Matrix** extra) override;
    uint32_t getTemplate(Nb::Matrix** first, Nb::Matrix** templ, uint8_t* const* images, uint32_t count) override;
    uint32_t setTemplate(const Nb::Matrix* templ, const Nb::Uuid* imageType) override;
    uint32_t reserved7() override;
    uint32_t getAlienParams(Nb::Matrix** out, int32_t count, const Nb::Uuid* imageType, uint32_t reserved) override;
    uint32_t freeBuffer(void* buffer) override;

private:
    ~FingerProcessor() override;
    // The ridge flows of the images, or false when one is not a fingerprint
    // image of this module.
    static bool readImages(uint8_t* const* images, uint32_t count, std::vector<RidgeField>& fields);
    const FeatureSpace& space() const;
    std::vector<float> normalised(const std::vector<RawFeatures>& raw) const;

    FingerTemplate m_template;
    std::vector<float> m_templateData;
    // The foreign parameters in the current frame, once asked for.
    std::vector<float> m_foreign;
    // The last template made here, with the foreign parameters in its frame,
    // kept for the setTemplate that usually follows.
    std::vector<float> m_madeData;
    std::vector<float> m_madeForeign;
    // Parameters and templates describe a finger: nothing of them stays behind.
    Common::Handed<Nb::Matrix, Common::destroy> m_handed;
};

} // namespace Finger

#pragma once
// The fingerprint processor: 256 parameters per impression (see
// FingerTemplate.h), each from that impression alone; a template that is
// the same for every finger; and the built-in foreign parameters.

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
    // The images, or false when one is not a fingerprint image of this module.
    static bool readImages(uint8_t* const* images, uint32_t count, std::vector<GreyImage>& out);
    const FeatureSpace& space() const;

    // The template loaded last; until then the population's, which is the same.
    FingerTemplate m_template;
    // Parameters describe a finger: nothing of them stays behind.
    Common::Handed<Nb::Matrix, Common::destroy> m_handed;
};

} // namespace Finger

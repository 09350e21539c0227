#pragma once
// The handwriting processor: turns handwriting images into rows of the
// 480-value parameter vector (one cell per image), gives the template that
// pins the feature normalisation, accepts it back, and hands out the
// parameters of built-in foreign writers.

#include <mutex>

#include "modules/common/Component.h"
#include "modules/common/Handed.h"
#include "modules/pen/PenFeatures.h"
#include "modules/pen/PenImage.h"
#include "nbi/nbModule.h"

namespace Pen {

class Processor final : public Common::Component<nbIProcessor, IID_nbIProcessor> {
public:
    Processor() = default;

    uint32_t reserved3() override;
    uint32_t convert(Nb::Matrix** params, uint8_t* const* images, uint32_t count, Nb::Matrix** extra) override;
    uint32_t getTemplate(Nb::Matrix** first, Nb::Matrix** templ, uint8_t* const* images, uint32_t count) override;
    uint32_t setTemplate(const Nb::Matrix* templ, const Nb::Uuid* imageType) override;
    uint32_t reserved7() override;
    uint32_t getAlienParams(Nb::Matrix** out, int32_t count, const Nb::Uuid* imageType, uint32_t reserved) override;
    uint32_t freeBuffer(void* buffer) override;

private:
    ~Processor() override = default;
    Norm norm();
    // The parameters of every image, or null when one of them is refused.
    Nb::Matrix* parameters(uint8_t* const* images, uint32_t count, const Norm& norm);
    Nb::Matrix* handOut(Nb::Matrix* m);

    std::mutex m_mutex;
    bool m_pinned = false; // a template set the normalisation
    Norm m_norm;
    Common::Handed<Nb::Matrix, Common::destroy> m_handed;
};

} // namespace Pen

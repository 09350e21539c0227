#pragma once
// The handwriting processor: turns handwriting images into rows of the
// 480-value parameter vector (one cell per image), gives the template that
// pins the feature normalisation, accepts it back, and hands out the
// parameters of built-in foreign writers.

#include <atomic>
#include <mutex>

#include "modules/pen/PenFeatures.h"
#include "modules/pen/PenImage.h"
#include "nbi/nbModule.h"

namespace Pen {

class Processor final : public nbIProcessor {
public:
    Processor() = default;
    Processor(const Processor&) = delete;
    Processor& operator=(const Processor&) = delete;

    uint32_t queryInterface(const Nb::Uuid* iid, void** out) override;
    uint32_t addRef() override;
    uint32_t release() override;

    uint32_t reserved3() override;
    uint32_t convert(Nb::Matrix** params, uint8_t* const* images, uint32_t count, Nb::Matrix** extra) override;
    uint32_t getTemplate(Nb::Matrix** first, Nb::Matrix** templ, uint8_t* const* images, uint32_t count) override;
    uint32_t setTemplate(const Nb::Matrix* templ, const Nb::Uuid* imageType) override;
    uint32_t reserved7() override;
    uint32_t getAlienParams(Nb::Matrix** out, int32_t count, const Nb::Uuid* imageType, uint32_t reserved) override;
    uint32_t freeBuffer(void* buffer) override;

private:
    ~Processor();
    Norm norm();
    // The parameters of every image, or null when one of them is refused.
    Nb::Matrix* parameters(uint8_t* const* images, uint32_t count, const Norm& norm);
    Nb::Matrix* handOut(Nb::Matrix* m);

    std::atomic<uint32_t> m_refs{1};
    std::mutex m_mutex;
    bool m_pinned = false; // a template set the normalisation
    Norm m_norm;
    Handed<Nb::Matrix> m_handed;
};

} // namespace Pen

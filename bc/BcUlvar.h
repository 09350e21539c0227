#pragma once
// The engine component the module hands out: one converter scheme behind
// the nbIUlvar interface. Each operation turns the caller's buffers and
// matrices into calls on the scheme and reports a result code.

#include <atomic>
#include <cstdint>

#include "bc/BcScheme.h"
#include "nbi/nbModule.h"

namespace Bc {

class BcUlvar final : public nbIUlvar {
public:
    // Component objects alive in this module.
    static std::atomic<int32_t> liveCount;

    BcUlvar();
    ~BcUlvar();

    BcUlvar(const BcUlvar&) = delete;
    BcUlvar& operator=(const BcUlvar&) = delete;

    uint32_t queryInterface(const Nb::Uuid* iid, void** out) override;
    uint32_t addRef() override;
    uint32_t release() override;
    uint32_t reserved3() override;
    uint32_t setScheme(const char* buffer) override;
    uint32_t reserved5() override;
    uint32_t getSlot(uint16_t slotId, char* buffer) override;
    uint32_t setConstraint(uint16_t slotId, Nb::ConstraintType ct, const Nb::Matrix* m) override;
    uint32_t getConstraint(uint16_t slotId, Nb::ConstraintType ct, Nb::Matrix* m) override;
    uint32_t emulate(const Nb::Matrix* in, Nb::Matrix* out, const uint16_t* outIds) override;
    uint32_t train(const Nb::Matrix* own, const Nb::Matrix* alien, const Nb::Matrix* code,
                   Nb::Timeout timeout) override;
    uint32_t trainSlot(uint16_t slotId, Nb::TrainMode mode, Nb::BlockState state, Nb::BlockFlags flags,
                       Nb::Timeout timeout) override;
    uint32_t qeval(const Nb::Matrix* a, const Nb::Matrix* b, Nb::Matrix* quality) override;
    uint32_t test(Nb::TestMode mode, Nb::Matrix* out, Nb::Timeout timeout) override;
    uint32_t clear(Nb::SchemeParts parts) override;
    uint32_t getParams(char* buffer, const Nb::Uuid* id) override;
    uint32_t setParams(const char* buffer) override;

    const BcScheme& scheme() const { return m_scheme; }
    int32_t refCount() const { return m_refs.load(); }

private:
    // The status word as the result; a failure no slot described is given
    // the code, so that it never reads as success.
    uint32_t failure(Nb::ErrorCode code);
    uint32_t status() const { return uint32_t(m_scheme.status()); }

    std::atomic<int32_t> m_refs{0};
    BcScheme m_scheme;
};

} // namespace Bc

#pragma once
// The input side of a converter scheme: a slot that carries the biometric
// parameter vectors handed to the engine (own samples, alien samples, a live
// sample) for the converters that link to it. It computes nothing, is never
// trained and stores nothing; it can rate the spread of its own samples.

#include "bc/BcSlot.h"

namespace Bc {

class BcParam : public BcSlot {
public:
    using BcSlot::BcSlot;

    bool reset() override;
    bool train(Nb::TrainMode mode, Nb::BlockState state, Nb::BlockFlags flags) override;
    // True when the out row holds samples; the slot has nothing to compute.
    bool emulate(Nb::ConstraintType in, Nb::ConstraintType out, bool build) override;
    // One score per own sample into the CtGe row: its spread from the mean
    // of the own samples.
    bool qeval() override;
    bool test() override;
    int32_t writeParams(Nb::Container& out, const Nb::Uuid* id, const Nb::BlockType* type) const override;
    int32_t readParams(const Nb::Container& in, int32_t index, const Nb::Uuid* id) override;
};

} // namespace Bc

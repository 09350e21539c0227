#pragma once
// A selector between alternative inputs: passes on the output of the first
// input that has one (mode 1), of the input a selecting input names (mode 2),
// or, sample by sample, of the input whose scoring input rates highest
// (mode 3). It keeps no trained parameters of its own.

#include "bc/BcSlot.h"

namespace Bc {

class BcCondition : public BcSlot {
public:
    enum Mode : int32_t { ModeNone = 0, ModeFirst = 1, ModeSelect = 2, ModeScore = 3 };

    using BcSlot::BcSlot;

    bool validate() override;
    bool update() override;
    bool train(Nb::TrainMode mode, Nb::BlockState state, Nb::BlockFlags flags) override;
    bool emulate(Nb::ConstraintType in, Nb::ConstraintType out, bool build) override;
    bool test() override;
    int32_t writeParams(Nb::Container& out, const Nb::Uuid* id, const Nb::BlockType* type) const override;
    int32_t readParams(const Nb::Container& in, int32_t index, const Nb::Uuid* id) override;

    int32_t mode() const { return m_mode; }

private:
    enum Availability { Available, Missing, Failed };
    // Whether the input's ct row holds data, emulating it first when allowed.
    // An input that has no data clears the status word; one that failed in
    // any other way leaves its status.
    Availability available(BcSlot* input, Nb::ConstraintType ct, bool build);

    int32_t m_mode = ModeNone;
};

} // namespace Bc

#pragma once
// Binds the bits of the converter's inputs to the code. Mode 1 stores a
// random salt and a mask, the salted MD5 key stream of the inputs' trained
// outputs XOR the code, and removes the mask again from the key stream of
// new outputs; mode 2 plainly joins the inputs' outputs into the code (or
// splits a given code into their targets) and stores nothing.

#include "bc/BcSlot.h"

namespace Bc {

class BcConnector : public BcSlot {
public:
    enum Mode : uint32_t { ModeNone = 0, ModeDigest = 1, ModeJoin = 2 };

    using BcSlot::BcSlot;
    ~BcConnector() override;

    bool validate() override;
    // Chooses the mode from the inputs: join when their bits add up to the code.
    bool update() override;
    bool train(Nb::TrainMode mode, Nb::BlockState state, Nb::BlockFlags flags) override;
    bool emulate(Nb::ConstraintType in, Nb::ConstraintType out, bool build) override;
    bool test() override;
    int32_t writeParams(Nb::Container& out, const Nb::Uuid* id, const Nb::BlockType* type) const override;
    int32_t readParams(const Nb::Container& in, int32_t index, const Nb::Uuid* id) override;

    uint32_t mode() const { return m_mode; }
    const Nb::Matrix& salt() const { return m_salt; }
    const Nb::Matrix& mask() const { return m_mask; }

private:
    // The StIn and StSpIn inputs in link order.
    BcSlots boundInputs() const;
    bool trainDigest(Nb::BlockFlags flags, BcSlots& inputs);
    bool trainJoin(Nb::BlockFlags flags, BcSlots& inputs);

    uint32_t m_mode = ModeNone;
    Nb::Matrix m_salt;
    Nb::Matrix m_mask;
};

} // namespace Bc

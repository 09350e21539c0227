#pragma once
// The biometry-to-code converter proper: one layer of threshold neurons that
// turns the feature vectors of its single parameter input into code bits,
// trained towards the wanted code on the user's own samples.

#include "bc/BcSlot.h"
#include "bc/Layer.h"

namespace Bc {

class BcNeuralConverter : public BcSlot {
public:
    // Slot flag: the code is folded into the layer, outputs are chained.
    static constexpr uint16_t FlagProtected = 0x2;

    using BcSlot::BcSlot;

    bool validate() override;
    bool reset() override;
    bool train(Nb::TrainMode mode, Nb::BlockState state, Nb::BlockFlags flags) override;
    bool emulate(Nb::ConstraintType in, Nb::ConstraintType out, bool build) override;
    bool test() override;
    int32_t writeParams(Nb::Container& out, const Nb::Uuid* id, const Nb::BlockType* type) const override;
    int32_t readParams(const Nb::Container& in, int32_t index, const Nb::Uuid* id) override;

    const Layer& layer() const { return m_layer; }

private:
    // The single parameter input, or null.
    BcSlot* paramInput() const;
    // The layer has one trained neuron per code bit, reading only the
    // features the input has.
    bool layerFits() const;
    bool retrain(BcSlot* input, bool protect);
    // Folds the code into the layer or takes it out again, so that the
    // layer's own protection bit follows the slot flag.
    bool setProtection(bool on);

    Layer m_layer;
};

} // namespace Bc

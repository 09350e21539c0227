#pragma once
// Pieces the engine slot tests share: stand-in converters, scheme factories
// and readers of rows, blocks and status words.

#include <QByteArray>
#include <QtTest>

#include "bc/BcCondition.h"
#include "bc/BcConnector.h"
#include "bc/BcNeuralConverter.h"
#include "bc/BcParam.h"
#include "bc/BcSlot.h"
#include "qtnb/Scheme.h"

namespace SlotTestKit {

inline Nb::Meta bitsMeta(int32_t n) { return Nb::Meta(n, Nb::MfI1, Nb::MtDO); }

// A bare converter that only pulls its inputs: training succeeds, emulation
// fails without an error of its own (as an untrained one does), and the test
// gives Tested.
template <bool Tested>
class StubSlot : public Bc::BcSlot {
public:
    using BcSlot::BcSlot;
    bool train(Nb::TrainMode, Nb::BlockState, Nb::BlockFlags) override { return true; }
    bool emulate(Nb::ConstraintType, Nb::ConstraintType, bool) override { return false; }
    bool test() override { return Tested; }
    int32_t writeParams(Nb::Container&, const Nb::Uuid*, const Nb::BlockType*) const override { return 0; }
    int32_t readParams(const Nb::Container&, int32_t, const Nb::Uuid*) override { return 0; }
};

// Parameter slots for every input kind; a converter comes from converter(),
// none by default.
class SlotFactory : public Nb::Scheme::Factory {
public:
    Nb::Slot* create(Nb::SlotId id) override
    {
        if (id.type() != Nb::StConv)
            return new Bc::BcParam(id, Nb::NilMeta);
        return converter(id);
    }

protected:
    virtual Nb::Slot* converter(Nb::SlotId) { return nullptr; }
};

// The engine's own converter for the block types listed, none for others.
template <Nb::BlockType... Blocks>
class EngineFactory : public SlotFactory {
protected:
    Nb::Slot* converter(Nb::SlotId id) override
    {
        if (!((id.block() == Blocks) || ...))
            return nullptr;
        switch (id.block()) {
        case Nb::BtNeuralConv:
            return new Bc::BcNeuralConverter(id, Nb::NilMeta);
        case Nb::BtConnector:
            return new Bc::BcConnector(id, Nb::NilMeta);
        case Nb::BtCondition:
            return new Bc::BcCondition(id, Nb::NilMeta);
        }
        return nullptr;
    }
};

inline QByteArray cell(const Nb::Matrix::Row& row, int32_t col = 0)
{
    return QByteArray(reinterpret_cast<const char*>(row.at(col)), row.meta().size());
}

inline QByteArray cell(const Nb::Matrix& m, int32_t col = 0) { return cell(Nb::Matrix::Row(&m, 0), col); }

// A container of one block of that type holding data.
inline Nb::Container blockOf(Nb::BlockType type, const QByteArray& data)
{
    Nb::Container c;
    Nb::Block b(type);
    b.push(reinterpret_cast<const uint8_t*>(data.constData()), int32_t(data.size()));
    c.push(b);
    return c;
}

// Gives the slot test figures with those two error rates, the rest zero.
inline void setFigures(Bc::BcSlot* slot, float e1, float e2)
{
    Nb::Matrix t(1, Nb::Meta(9, Nb::MfR32, Nb::MtCO));
    float* f = reinterpret_cast<float*>(t.at(0, 0));
    for (int i = 0; i < 9; ++i)
        f[i] = 0.0f;
    f[Nb::TmE1Bio] = e1;
    f[Nb::TmE2Bio] = e2;
    QVERIFY(slot->set(Nb::CtTst, Nb::Matrix::Row(&t, 0)));
}

inline Nb::Status slotError(const Bc::BcSlot* slot, Nb::ErrorCode code)
{
    return Nb::slotStatus(slot->id(), code);
}

} // namespace SlotTestKit

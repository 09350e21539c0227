#pragma once
// Base of the engine's slot classes: the scheme slot with its links resolved
// into slot pointers and one row of data per constraint type, through which
// samples, codes, outputs, test figures and quality values move between
// slots and across the engine interface.

#include <cstdint>
#include <QList>

#include "qtnb/Container.h"
#include "qtnb/Enums.h"
#include "qtnb/Matrix.h"
#include "qtnb/Slot.h"
#include "qtnb/Uuid.h"

namespace Bc {

class BcSlot;
using BcSlots = QList<BcSlot*>;

class BcSlot : public Nb::Slot {
public:
    BcSlot();
    BcSlot(Nb::SlotId id, const Nb::Meta& meta);
    ~BcSlot() override;

    // Gives the constraint rows their layouts (every row emptied) and
    // resolves the links in the owner scheme.
    bool update() override;
    bool updateNested() override;

    // A writable reference to the row of that type; a null row for an
    // unknown type.
    virtual Nb::Matrix::Row constraint(Nb::ConstraintType ct);
    virtual bool clearConstraints();
    virtual bool clearConstraint(Nb::ConstraintType ct);
    // The row becomes a copy of in; a nil in empties it.
    virtual bool set(Nb::ConstraintType ct, const Nb::Matrix::Row& in);
    // The row's cells are copied into out, which must be laid out alike.
    virtual bool get(Nb::ConstraintType ct, Nb::Matrix::Row& out) const;
    virtual int32_t constraintCols(Nb::ConstraintType ct) const;
    virtual bool reset();
    virtual bool train(Nb::TrainMode mode, Nb::BlockState state, Nb::BlockFlags flags) = 0;
    virtual bool emulate(Nb::ConstraintType in, Nb::ConstraintType out, bool build) = 0;
    virtual bool qeval();
    virtual bool test() = 0;
    // Blocks appended (0 or more) or -1.
    virtual int32_t writeParams(Nb::Container& out, const Nb::Uuid* id,
                                const Nb::BlockType* type) const = 0;
    // Blocks used or -1.
    virtual int32_t readParams(const Nb::Container& in, int32_t index, const Nb::Uuid* id) = 0;
    virtual void notify();
    // Makes sure every slot of the list holds ct data (emulating those that
    // have none when allowed) of one column count, which cols receives.
    virtual bool actualize(BcSlots& list, Nb::ConstraintType ct, int32_t& cols, bool emulate);
    virtual bool resizeConstraints(BcSlots& list, Nb::ConstraintType ct, int32_t cols);

    // The resolved inputs split by the kind of their link, in link order;
    // converter links and null lists are skipped; self receives this slot.
    void inputSlots(BcSlots* in, BcSlots* spIn, BcSlots* spOut, BcSlots* self) const;

    const BcSlots& inputs() const { return m_inputs; }
    const BcSlots& nestedSlots() const { return m_nestedSlots; }

protected:
    Nb::Matrix* matrixOf(Nb::ConstraintType ct);
    const Nb::Matrix* matrixOf(Nb::ConstraintType ct) const;
    Nb::Matrix::Row row(Nb::ConstraintType ct) { return Nb::Matrix::Row(matrixOf(ct), 0); }
    // The slots of scheme with those ids, all or none; no scheme, no slots.
    bool resolve(const Nb::Scheme* scheme, const Nb::SlotIds& ids, BcSlots& out);

    // Flag bits that may change on a trained slot without training.
    static constexpr uint16_t FreeFlags = 0x5;

    // The first steps of training: the stored flags and state take the place
    // of the given ones where the mode says so, the state asked for must be
    // "trained" and no forbidden flag may be set. Check number 0 reports
    // nothing.
    bool trainArgs(Nb::TrainMode mode, Nb::BlockState& state, Nb::BlockFlags& flags, uint16_t forbidden,
                   int stateCheck, int flagCheck) const;
    // A change of free flags needs no training: a trained slot takes the
    // flags over, unless the mode only checks. done tells whether flags
    // changed free flags, and so whether training ends here.
    bool takeFreeFlags(Nb::TrainMode mode, Nb::BlockFlags flags, int check, bool& done);
    // Lays the CtTst row out as one cell of zeroed figures and returns them;
    // null (the row emptied) when it cannot be made.
    float* startTestFigures(int check);
    // The figures of an input's CtTst row; null when it holds none.
    static const float* testFiguresOf(const Nb::Matrix::Row& t);

    BcSlots m_inputs;
    BcSlots m_nestedSlots;
    Nb::Matrix m_ge;
    Nb::Matrix m_tst;
    Nb::Matrix m_any;
    Nb::Matrix m_own;
    Nb::Matrix m_all;
};

// Appends the ct row of every slot of the list, in list order.
Nb::Rows& constraintRows(const BcSlots& list, Nb::ConstraintType ct, Nb::Rows& rows);

// Number of test figures in a CtTst cell.
constexpr int32_t TestFigures = 9;

} // namespace Bc

#pragma once
// The engine's converter: a scheme of engine slots driven as a whole (rows
// in and out, emulation, training, quality, self-test) with its state flags
// and the foreign parameter blocks it keeps, and the parameter container,
// the byte form of a loaded converter.

#include <cstdint>

#include "bc/BcSlot.h"
#include "qtnb/Container.h"
#include "qtnb/Matrix.h"
#include "qtnb/Scheme.h"
#include "qtnb/Uuid.h"

namespace Bc {

class BcScheme : public Nb::Scheme {
public:
    // Makes the engine slot for a slot id: parameter slots for inputs and
    // special slots, the converter class its block field names, else none.
    class BcFactory : public Nb::Scheme::Factory {
    public:
        Nb::Slot* create(Nb::SlotId id) override;
        void destroy(Nb::Slot* slot) override;
    };

    // State flags.
    static constexpr uint16_t FlagTrained = 0x100;
    static constexpr uint16_t FlagPartly = 0x200;
    static constexpr uint16_t FlagOuterTrained = 0x400;
    static constexpr uint16_t FlagValid = 0x800;

    // The one factory of every engine scheme.
    static BcFactory* factory();
    // Identifier carried by the head block of every parameter container.
    static const Nb::Uuid paramId;

    BcScheme();
    // For schemes of other slot makers; the factory must outlive the scheme.
    explicit BcScheme(Nb::Scheme::Factory* factory);
    ~BcScheme() override;

    void clear() override;
    bool validate() override;
    virtual bool updateState();

    bool clear(Nb::SchemeParts parts);

    bool setConstraint(Nb::SlotId id, Nb::ConstraintType ct, const Nb::Matrix::Row& row, bool check);
    bool getConstraint(Nb::SlotId id, Nb::ConstraintType ct, Nb::Matrix::Row& row);
    int32_t constraintCols(Nb::SlotId id, Nb::ConstraintType ct);
    bool emulateSlot(Nb::SlotId id, Nb::ConstraintType ct);
    bool setConstraints(const Nb::SlotIds& ids, Nb::ConstraintType ct, const Nb::Rows& rows, bool check);
    bool getConstraints(const Nb::SlotIds& ids, Nb::ConstraintType ct, Nb::Rows& rows);
    bool clearConstraint(Nb::ConstraintType ct);
    bool clearConstraint(const Nb::SlotIds& ids, Nb::ConstraintType ct);
    bool emulate(const Nb::SlotIds& outputs, Nb::ConstraintType ct);
    bool train();
    bool qeval(const Nb::Matrix::Row& quality);
    bool test(Nb::Matrix::Row& out);

    // Appends the run; blocks appended, or -1 with nothing appended.
    int32_t writeParams(Nb::Container& out, const Nb::Uuid* id) const;
    // Loads the run headed at index; its block count, or -1 with the scheme
    // emptied.
    int32_t readParams(const Nb::Container& in, int32_t index);

    uint16_t flags() const { return m_flags; }
    const Nb::Container& kept() const { return m_kept; }

    // The engine slot with that id (0 for the result), or null.
    BcSlot* bcSlot(Nb::SlotId id) const;
    // The converter slots, or the input slots, in scheme order.
    BcSlots converterSlots() const;
    BcSlots inputSlots() const;
    Nb::SlotIds inputIds() const;

private:
    // Marks a failure no slot has described, so that it never reads as
    // success.
    bool fail(Nb::ErrorCode code, const BcSlot* slot = nullptr);
    bool constraintTargets(const Nb::SlotIds& ids, int32_t rowCount, BcSlots& targets);

    uint16_t m_flags = 0;
    Nb::Container m_kept;
};

} // namespace Bc

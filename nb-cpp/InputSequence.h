#pragma once
// The cursor over a container's biometric inputs in scheme order. Inputs
// that feed one condition block form a group of alternatives; the walk is
// divided into stages, one per group and one per ungrouped input.

#include <QList>

#include "qtnb/SlotId.h"
#include "qtnb/Uuid.h"

class Nbc;

class InputSequence {
public:
    InputSequence();
    ~InputSequence();

    bool clear();
    bool build(const Nbc& container);
    bool reset();

    int32_t step() const { return m_step; }
    int32_t count() const { return m_count; }
    int32_t stage() const { return m_stage; }
    int32_t position() const { return m_position; }
    int32_t stageCount() const { return m_stageCount; }

    // The current input's slot id; the nil id outside the inputs.
    Nb::SlotId slotId() const;
    Nb::Uuid providerId() const;
    Nb::Uuid processorId() const;
    int32_t groupSize() const;
    int32_t stageSize() const;

    bool next();
    bool prev();
    bool skipGroup();
    bool restartGroup();

private:
    int32_t groupAt(int32_t index) const;

    int32_t m_stage = 0;
    int32_t m_position = 0;
    int32_t m_step = 0;
    int32_t m_stageCount = 0;
    int32_t m_count = 0;
    QList<int32_t> m_groups;
    QList<Nb::SlotId> m_slotIds;
    QList<Nb::Uuid> m_providerIds;
    QList<Nb::Uuid> m_processorIds;
};

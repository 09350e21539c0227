#include "nb-cpp/InputSequence.h"
#include "nb-cpp/Nbc.h"

#include "qtnb/Scheme.h"

InputSequence::InputSequence() = default;

InputSequence::~InputSequence() { clear(); }

bool InputSequence::clear()
{
    m_stage = m_position = m_step = m_stageCount = m_count = 0;
    m_groups.clear();
    m_slotIds.clear();
    m_providerIds.clear();
    m_processorIds.clear();
    return true;
}

bool InputSequence::build(const Nbc& container)
{
    clear();
    Nb::Scheme scheme;
    container.scheme(scheme);
    m_slotIds = Nb::SlotIds(scheme, Nb::StIn, 255);
    m_count = m_slotIds.size();
    for (Nb::SlotId id : qAsConst(m_slotIds)) {
        // An input without its module record gets null ids, so that the
        // lists stay in step with the inputs (no module serves it).
        const QList<Nb::Uuid> modules = container.inputModules(id);
        const bool known = modules.size() >= 2;
        m_providerIds.append(known ? modules.at(0) : Nb::NilUuid);
        m_processorIds.append(known ? modules.at(1) : Nb::NilUuid);
        m_groups.append(0);
    }
    if (m_count == 0)
        return true;
    m_stageCount = 1;

    // The inputs under one condition block are alternatives: one group each.
    Nb::Slots converters;
    scheme.find(nullptr, nullptr, nullptr, &converters);
    int32_t group = 0;
    for (const Nb::Slot* condition : qAsConst(converters)) {
        if (condition->id().block() != Nb::BtCondition)
            continue;
        ++group;
        ++m_stageCount;
        Nb::SlotIds links = condition->links();
        if (!links.isEmpty() && links.first().block() == Nb::BtNeuralConv) {
            // Linked to converters: the inputs are what those read first.
            Nb::Slots linked;
            scheme.collect(linked, links, false);
            links.clear();
            for (const Nb::Slot* converter : qAsConst(linked))
                if (converter && !converter->links().isEmpty())
                    links.append(converter->links().first());
        }
        for (int32_t i = 0; i < m_count; ++i)
            if (links.contains(m_slotIds.at(i)))
                m_groups[i] = group;
    }
    return true;
}

bool InputSequence::reset()
{
    m_stage = m_position = m_step = 0;
    return true;
}

int32_t InputSequence::groupAt(int32_t index) const { return m_groups.value(index, 0); }

Nb::SlotId InputSequence::slotId() const { return m_slotIds.value(m_step, Nb::NilSlotId); }

Nb::Uuid InputSequence::providerId() const { return m_providerIds.value(m_step, Nb::NilUuid); }

Nb::Uuid InputSequence::processorId() const { return m_processorIds.value(m_step, Nb::NilUuid); }

int32_t InputSequence::groupSize() const
{
    const int32_t group = groupAt(m_step);
    if (group == 0)
        return 0;
    int32_t first = m_step, last = m_step;
    while (first > 0 && groupAt(first - 1) == group)
        --first;
    while (last + 1 < m_count && groupAt(last + 1) == group)
        ++last;
    return last - first + 1;
}

int32_t InputSequence::stageSize() const { return m_count == 0 ? 0 : groupSize(); }

// Whether the inputs at two neighbouring steps are alternatives of one group.
static bool sameGroup(int32_t a, int32_t b) { return a != 0 && a == b; }

bool InputSequence::next()
{
    // The cursor never leaves the inputs, also on an empty sequence.
    if (m_step >= m_count - 1)
        return false;
    const int32_t from = groupAt(m_step);
    ++m_step;
    if (sameGroup(from, groupAt(m_step))) {
        ++m_position;
    } else {
        ++m_stage;
        m_position = 0;
    }
    return true;
}

bool InputSequence::prev()
{
    if (m_step <= 0)
        return false;
    const int32_t from = groupAt(m_step);
    --m_step;
    if (sameGroup(from, groupAt(m_step))) {
        --m_position;
    } else {
        // An ungrouped input is reached with position -1.
        --m_stage;
        m_position = groupSize() - 1;
    }
    return true;
}

bool InputSequence::skipGroup()
{
    if (m_step >= m_count - 1)
        return false;
    const int32_t group = groupAt(m_step);
    if (group == 0)
        return next();
    int32_t last = m_step;
    while (last + 1 < m_count && groupAt(last + 1) == group)
        ++last;
    if (last == m_count - 1) {
        // The group ends the sequence: the cursor stands on its last input.
        m_position += last - m_step;
        m_step = last;
        return false;
    }
    m_step = last + 1;
    ++m_stage;
    m_position = 0;
    return true;
}

bool InputSequence::restartGroup()
{
    const int32_t group = groupAt(m_step);
    while (m_step > 0 && groupAt(m_step - 1) == group)
        --m_step;
    m_position = 0;
    return true;
}

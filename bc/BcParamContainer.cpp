// The parameter container: one run of blocks under a head carrying the
// converter parameter id, the scheme (block 250), the blocks of every
// trained converter slot in scheme order, then the foreign blocks the scheme
// kept from the run it last read.

#include "bc/BcScheme.h"

#include <QByteArray>
#include <QDataStream>

namespace Bc {

namespace {

bool isSlotBlock(Nb::BlockType type) { return uint8_t(type) <= 127; }

} // namespace

int32_t BcScheme::writeParams(Nb::Container& out, const Nb::Uuid* id) const
{
    BcScheme* self = const_cast<BcScheme*>(this);
    if (id && *id != paramId) {
        BC_ERR(1);
        self->fail(Nb::EcIdentifier);
        return -1;
    }
    // The scheme is written aside first, so that a failure appends nothing.
    QByteArray records;
    {
        QDataStream stream(&records, QIODevice::WriteOnly);
        if (writeScheme(stream, false) < 0 || stream.status() != QDataStream::Ok) {
            BC_ERR(3);
            self->fail(Nb::EcCScheme);
            return -1;
        }
    }
    Nb::Block schemeBlock(Nb::BtCScheme);
    schemeBlock.push(reinterpret_cast<const uint8_t*>(records.constData()), int32_t(records.size()));
    schemeBlock.updateLength();
    if (schemeBlock.size() != records.size()) {
        BC_ERR(4);
        self->fail(Nb::EcOutOfMemory);
        return -1;
    }

    const int32_t start = out.count();
    out.push(Nb::BlockContHead(paramId, 0));
    out.push(schemeBlock);
    const auto undo = [&]() { out.pop(out.count() - start); };

    const bool outer = (m_flags & FlagOuterTrained) != 0;
    for (BcSlot* slot : converterSlots()) {
        if (slot->id().block() != 0 && !outer)
            continue;
        if (slot->writeParams(out, &paramId, nullptr) < 0) {
            undo();
            BC_ERR(2);
            self->fail(Nb::EcConsistencyFail, slot);
            return -1;
        }
    }
    for (const Nb::Block* block : m_kept.blocks())
        out.push(*block);

    Nb::BlockContHead* head = dynamic_cast<Nb::BlockContHead*>(out.at(start));
    if (!head || !head->setLength(out.blocks(), start, out.count())) {
        undo();
        BC_ERR(5);
        self->fail(Nb::EcOutOfMemory);
        return -1;
    }
    return out.count() - start;
}

int32_t BcScheme::readParams(const Nb::Container& in, int32_t index)
{
    m_status = Nb::ScOk;
    // Nothing half-loaded stays behind a failure.
    const auto failed = [this]() {
        const Nb::Status status = m_status;
        clear();
        m_status = Nb::isFailure(status) ? status : Nb::schemeStatus(Nb::EcConsistencyFail);
        return -1;
    };

    const Nb::Block* first = in.at(index);
    const Nb::BlockHead* head = first && first->isHead() ? dynamic_cast<const Nb::BlockHead*>(first) : nullptr;
    if (!head) {
        BC_ERR(1);
        return failed();
    }
    const int32_t end = in.findEnd(index);
    // The run must hold exactly the bytes its head announces.
    int64_t runBytes = 0;
    for (int32_t k = index; k < end; ++k)
        runBytes += in.at(k)->byteSize();
    if (end <= index + 1 || runBytes != head->length()) {
        BC_ERR(2);
        return failed();
    }

    bool haveScheme = false;
    BcSlots conv;
    QList<bool> loaded;
    int32_t next = 0;
    Nb::Container aside;
    for (int32_t k = index + 1; k < end;) {
        const Nb::Block* block = in.at(k);
        const Nb::BlockType type = block->type();
        if (type == Nb::BtCScheme) {
            if (count() > 0) {
                BC_ERR(3);
                return failed();
            }
            int32_t pos = 0;
            block->pop(pos, *this);
            if (pos < 0 || count() == 0) {
                BC_ERR(4);
                return failed();
            }
            if (!validate()) {
                BC_ERR(5);
                return failed();
            }
            haveScheme = true;
            conv = converterSlots();
            loaded = QList<bool>();
            for (int32_t s = 0; s < int32_t(conv.size()); ++s)
                loaded.append(false);
            next = 0;
            ++k;
        } else if (isSlotBlock(type)) {
            if (!haveScheme) {
                BC_ERR(6);
                m_status = Nb::schemeStatus(Nb::EcBlockType);
                return failed();
            }
            while (next < int32_t(conv.size()) && conv.at(next)->state() == Nb::BsUntrained &&
                   conv.at(next)->id().block() != 0)
                ++next;
            if (next >= int32_t(conv.size())) {
                BC_ERR(7);
                return failed();
            }
            BcSlot* slot = conv.at(next);
            if (slot->id().block() != uint8_t(type)) {
                BC_ERR(8);
                m_status = Nb::slotStatus(slot->id(), Nb::EcBlockType);
                return failed();
            }
            slot->clearConstraints();
            const int32_t used = slot->readParams(in, k, &paramId);
            if (used < 1 || used > end - k) {
                BC_ERR(9);
                return failed();
            }
            loaded[next] = true;
            ++next;
            k += used;
        } else if (type == Nb::BtExtention) {
            BC_ERR(10);
            return failed();
        } else {
            aside.push(*block);
            ++k;
        }
    }
    if (!haveScheme) {
        BC_ERR(11);
        return failed();
    }
    // A slot trained in the stored scheme without its parameters cannot
    // convert anything.
    for (int32_t s = 0; s < int32_t(conv.size()); ++s) {
        if (conv.at(s)->state() != Nb::BsUntrained && !loaded.at(s)) {
            BC_ERR(12);
            m_status = Nb::slotStatus(conv.at(s)->id(), Nb::EcConsistencyFail);
            return failed();
        }
    }
    m_kept.push(aside);
    updateState();
    return end - index;
}

} // namespace Bc

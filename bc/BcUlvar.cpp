#include "bc/BcUlvar.h"

#include <cstring>

#include <QByteArray>
#include <QDataStream>

#include "qtnb/Data.h"

namespace Bc {

namespace {

// The count in the length word of a caller's buffer: nbS_OK, or the answer
// for a null buffer or a negative count.
uint32_t lengthOf(const char* buffer, int32_t& n)
{
    if (!buffer)
        return nbE_POINTER;
    n = Nb::lengthWord(buffer);
    return n < 0 ? nbE_PARAM : nbS_OK;
}

bool validConstraint(Nb::ConstraintType ct) { return ct >= Nb::CtGe && ct <= Nb::CtAll; }

} // namespace

std::atomic<int32_t> BcUlvar::liveCount{0};

BcUlvar::BcUlvar() : m_scheme(BcScheme::factory()) { liveCount.fetch_add(1); }

BcUlvar::~BcUlvar() { liveCount.fetch_sub(1); }

uint32_t BcUlvar::failure(Nb::ErrorCode code)
{
    if (!Nb::isFailure(m_scheme.status()))
        m_scheme.setStatus(Nb::schemeStatus(code));
    return status();
}

// ---- nbIUnknown

uint32_t BcUlvar::queryInterface(const Nb::Uuid* iid, void** out)
{
    if (!iid || !out)
        return nbE_POINTER;
    if (*iid != IID_nbIUnknown && *iid != IID_nbIUlvar)
        return nbE_NO_INTERFACE;
    *out = static_cast<nbIUlvar*>(this);
    addRef();
    return nbS_OK;
}

uint32_t BcUlvar::addRef()
{
    m_refs.fetch_add(1);
    return 1;
}

uint32_t BcUlvar::release()
{
    const int32_t left = m_refs.fetch_sub(1) - 1;
    if (left == 0) {
        delete this;
        return 0;
    }
    return uint32_t(left);
}

uint32_t BcUlvar::reserved3() { return nbE_UNSUPPORTED_FUNCTION; }

uint32_t BcUlvar::reserved5() { return nbE_UNSUPPORTED_FUNCTION; }

// ---- scheme and slots

uint32_t BcUlvar::setScheme(const char* buffer)
{
    m_scheme.setStatus(Nb::ScOk);
    int32_t n = 0;
    if (const uint32_t refused = lengthOf(buffer, n))
        return refused;
    QDataStream stream(QByteArray::fromRawData(buffer, n));
    const bool read = m_scheme.readScheme(stream, n) >= 0;
    // A scheme that does not hold together is not kept.
    if (!read || !m_scheme.validate()) {
        BC_ERR(1);
        const uint32_t result = failure(read ? Nb::EcCScheme : Nb::EcIo);
        m_scheme.clear();
        m_scheme.setStatus(Nb::Status(int32_t(result)));
        return result;
    }
    m_scheme.updateState();
    return status();
}

uint32_t BcUlvar::getSlot(uint16_t slotId, char* buffer)
{
    m_scheme.setStatus(Nb::ScOk);
    int32_t capacity = 0;
    if (const uint32_t refused = lengthOf(buffer, capacity))
        return refused;
    const Nb::Slot* slot = m_scheme.count() > 0 ? m_scheme.at(Nb::SlotId(slotId)) : nullptr;
    if (!slot)
        return nbE_SLOT_ID;
    const int32_t size = slot->size(false);
    if (capacity < size) {
        Nb::setLengthWord(buffer, size);
        return nbE_INSUFFICIENT_BUFFER;
    }
    QByteArray bytes;
    {
        QDataStream stream(&bytes, QIODevice::WriteOnly);
        if (slot->write(stream, false) < 0 || stream.status() != QDataStream::Ok) {
            BC_ERR(1);
            return failure(Nb::EcIo);
        }
    }
    if (bytes.size() > capacity) {
        BC_ERR(2);
        return failure(Nb::EcInsufficientBuffer);
    }
    std::memcpy(buffer, bytes.constData(), size_t(bytes.size()));
    Nb::setLengthWord(buffer, int32_t(bytes.size()));
    return nbS_OK;
}

uint32_t BcUlvar::setConstraint(uint16_t slotId, Nb::ConstraintType ct, const Nb::Matrix* m)
{
    m_scheme.setStatus(Nb::ScOk);
    if (!m)
        return nbE_POINTER;
    if (!validConstraint(ct))
        return nbE_PARAM;
    if (!m_scheme.setConstraint(Nb::SlotId(slotId), ct, Nb::Matrix::Row(m, 0), false))
        return failure(Nb::EcConstraint);
    return status();
}

uint32_t BcUlvar::getConstraint(uint16_t slotId, Nb::ConstraintType ct, Nb::Matrix* m)
{
    m_scheme.setStatus(Nb::ScOk);
    if (!m)
        return nbE_POINTER;
    if (!validConstraint(ct))
        return nbE_PARAM;
    Nb::Rows rows(*m);
    if (!m_scheme.getConstraints(Nb::SlotIds{Nb::SlotId(slotId)}, ct, rows))
        return failure(Nb::EcConstraint);
    return status();
}

// ---- running and training

uint32_t BcUlvar::emulate(const Nb::Matrix* in, Nb::Matrix* out, const uint16_t* outIds)
{
    m_scheme.setStatus(Nb::ScOk);
    if (!out)
        return nbE_PARAM;
    const Nb::SlotIds outputs = outIds ? Nb::SlotIds(reinterpret_cast<const Nb::SlotId*>(outIds), out->rows())
                                       : Nb::SlotIds{Nb::NilSlotId};
    if (in && !m_scheme.setConstraints(m_scheme.inputIds(), Nb::CtAny, Nb::Rows(*in), true))
        return failure(Nb::EcConstraint);
    if (!m_scheme.emulate(outputs, Nb::CtAny))
        return failure(Nb::EcFail);
    Nb::Rows rows(*out);
    if (!m_scheme.getConstraints(outputs, Nb::CtAny, rows))
        return failure(Nb::EcConstraint);
    m_scheme.clearConstraint(Nb::CtAny);
    return status();
}

uint32_t BcUlvar::train(const Nb::Matrix* own, const Nb::Matrix* alien, const Nb::Matrix* code, Nb::Timeout)
{
    m_scheme.setStatus(Nb::ScOk);
    const Nb::SlotIds inputs = m_scheme.inputIds();
    if (own && !m_scheme.setConstraints(inputs, Nb::CtOwn, Nb::Rows(*own), true))
        return failure(Nb::EcConstraint);
    if (alien && !m_scheme.setConstraints(inputs, Nb::CtAll, Nb::Rows(*alien), true))
        return failure(Nb::EcConstraint);
    if (code && !m_scheme.setConstraints(Nb::SlotIds{Nb::NilSlotId}, Nb::CtOwn, Nb::Rows(*code), true))
        return failure(Nb::EcConstraint);
    m_scheme.clearConstraint(Nb::CtTst);
    if (!m_scheme.train())
        return failure(Nb::EcFail);
    return status();
}

uint32_t BcUlvar::trainSlot(uint16_t slotId, Nb::TrainMode mode, Nb::BlockState state, Nb::BlockFlags flags,
                            Nb::Timeout)
{
    m_scheme.setStatus(Nb::ScOk);
    BcSlot* slot = m_scheme.count() > 0 ? m_scheme.bcSlot(Nb::SlotId(slotId)) : nullptr;
    if (!slot)
        return nbE_SLOT_ID;
    m_scheme.clearConstraint(Nb::CtTst);
    const bool trained = slot->train(mode, state, flags);
    // The flags that the parameter writer reads follow the slot's new state.
    m_scheme.updateState();
    if (!trained && !Nb::isFailure(m_scheme.status()))
        m_scheme.setStatus(Nb::slotStatus(slot->id(), Nb::EcFail));
    return status();
}

uint32_t BcUlvar::qeval(const Nb::Matrix* a, const Nb::Matrix* b, Nb::Matrix* quality)
{
    m_scheme.setStatus(Nb::ScOk);
    if (!quality)
        return nbE_POINTER;
    const Nb::SlotIds inputs = m_scheme.inputIds();
    for (const Nb::Matrix* m : {a, b}) {
        if (!m)
            continue;
        if (m->rows() != int32_t(inputs.size())) {
            m_scheme.setStatus(Nb::schemeStatus(Nb::EcParam));
            return status();
        }
        for (int32_t i = 0; i < int32_t(inputs.size()); ++i)
            if (!m_scheme.setConstraint(inputs.at(i), Nb::CtOwn, Nb::Matrix::Row(m, i), true))
                return failure(Nb::EcConstraint);
    }
    if (!m_scheme.qeval(Nb::Matrix::Row(static_cast<const Nb::Matrix*>(quality), 0)))
        return failure(Nb::EcFail);
    return status();
}

uint32_t BcUlvar::test(Nb::TestMode mode, Nb::Matrix* out, Nb::Timeout)
{
    m_scheme.setStatus(Nb::ScOk);
    if (uint16_t(mode - 1) > 7)
        return nbE_TEST_MODE;
    if (!out)
        return nbE_PARAM;
    const Nb::Matrix::Row row(static_cast<const Nb::Matrix*>(out), 0);
    if (row.isNil() || out->rows() < 1)
        return nbE_PARAM;
    const Nb::Meta meta = row.meta();
    if (meta.count == 0 || meta.format != Nb::MfR32)
        return nbE_META;
    if (row.cols() < 1 || !row.data() || row.data()[0].isNull())
        return nbE_PARAM;
    Nb::Matrix figures(1, Nb::Meta(TestFigures, Nb::MfR32, Nb::MtCO));
    Nb::Matrix::Row all(&figures, 0);
    all.zero();
    if (!m_scheme.test(all))
        return failure(Nb::EcFail);
    *row.r32(0) = reinterpret_cast<const float*>(figures.at(0, 0))[mode];
    return status();
}

uint32_t BcUlvar::clear(Nb::SchemeParts parts)
{
    m_scheme.setStatus(Nb::ScOk);
    m_scheme.clear(parts);
    return status();
}

// ---- parameter container

uint32_t BcUlvar::getParams(char* buffer, const Nb::Uuid*)
{
    m_scheme.setStatus(Nb::ScOk);
    int32_t capacity = 0;
    if (const uint32_t refused = lengthOf(buffer, capacity))
        return refused;
    Nb::Container params;
    if (m_scheme.writeParams(params, nullptr) < 0)
        return failure(Nb::EcConsistencyFail);
    const int32_t size = params.byteSize();
    if (size > capacity) {
        Nb::setLengthWord(buffer, size);
        return nbE_INSUFFICIENT_BUFFER;
    }
    QByteArray bytes;
    {
        QDataStream stream(&bytes, QIODevice::WriteOnly);
        if (params.writeContainer(stream, true) < 0 || stream.status() != QDataStream::Ok)
            return nbE_OUT_OF_MEMORY;
    }
    if (bytes.size() != size + 4)
        return nbE_OUT_OF_MEMORY;
    std::memcpy(buffer, bytes.constData() + 4, size_t(size));
    Nb::setLengthWord(buffer, size);
    return nbS_OK;
}

uint32_t BcUlvar::setParams(const char* buffer)
{
    m_scheme.setStatus(Nb::ScOk);
    int32_t n = 0;
    if (const uint32_t refused = lengthOf(buffer, n))
        return refused;
    QDataStream stream(QByteArray::fromRawData(buffer, n));
    Nb::Container params;
    if (params.readContainer(stream, -1) < 0)
        return nbE_CONSISTENCY_FAIL;
    if (m_scheme.readParams(params, 0) < 0)
        return nbE_CONSISTENCY_FAIL;
    return status();
}

} // namespace Bc

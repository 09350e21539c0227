#include "bc/BcParam.h"

#include <new>

#include "bc/Layer.h"

namespace Bc {

bool BcParam::reset()
{
    BC_ERR(1);
    return error(Nb::EcSlotId);
}

bool BcParam::train(Nb::TrainMode, Nb::BlockState, Nb::BlockFlags)
{
    BC_ERR(1);
    return error(Nb::EcSlotId);
}

bool BcParam::emulate(Nb::ConstraintType, Nb::ConstraintType out, bool)
{
    const Nb::Matrix* m = matrixOf(out);
    if (m && !m->isNil())
        return true;
    BC_ERR(1);
    return error(Nb::EcNoData);
}

bool BcParam::qeval()
{
    if (type() != Nb::StIn) {
        BC_ERR(2);
        return false;
    }
    if (m_meta.format != Nb::MfR32 || m_meta.type != Nb::MtC) {
        BC_ERR(3);
        return false;
    }
    const int32_t n = m_own.cols();
    if (n < 2)
        return false;
    // The ranking reads count floats from every sample: each must be there.
    Nb::Cell* own = m_own.data() ? m_own.data()[0] : nullptr;
    if (!own || m_own.count(0) < 0) {
        BC_ERR(7);
        return false;
    }
    for (int32_t j = 0; j < n; ++j)
        if (own[j].isNull() && m_meta.count > 0) {
            BC_ERR(7);
            return false;
        }
    Nb::Cell* scores = nullptr;
    if (!m_ge.resize(n) || !m_ge.data() || !(scores = m_ge.data()[0])) {
        BC_ERR(5);
        return error(Nb::EcOutOfMemory);
    }
    uint8_t** sorted = new (std::nothrow) uint8_t*[size_t(n)]();
    if (!sorted) {
        BC_ERR(6);
        return error(Nb::EcOutOfMemory);
    }
    uint32_t accepted = 0;
    const bool ranked =
        rankSamplesBySpread(own, uint32_t(n), uint32_t(m_meta.count), sorted, &accepted, scores);
    delete[] sorted;
    return ranked;
}

bool BcParam::test()
{
    BC_ERR(1);
    return error(Nb::EcSlotId);
}

int32_t BcParam::writeParams(Nb::Container&, const Nb::Uuid*, const Nb::BlockType*) const { return 0; }

int32_t BcParam::readParams(const Nb::Container&, int32_t, const Nb::Uuid*) { return 0; }

} // namespace Bc

// The module's three entry points: the component by class and interface id,
// the component descriptor, and the count of live component objects.

#include <cstring>

#include <QByteArray>
#include <QFile>

#include "bc/BcUlvar.h"
#include "nbi/nbModule.h"
#include "qtnb/Data.h"

namespace {

// The two leading 32-bit words, then the last eight bytes one by one.
bool sameId(const Nb::Uuid& a, const Nb::Uuid& b)
{
    uint32_t wa[2];
    uint32_t wb[2];
    std::memcpy(wa, a.data(), 8);
    std::memcpy(wb, b.data(), 8);
    if (wa[0] != wb[0] || wa[1] != wb[1])
        return false;
    for (int i = 8; i < Nb::Uuid::Size; ++i)
        if (a.data()[i] != b.data()[i])
            return false;
    return true;
}

} // namespace

extern "C" NB_MODULE_EXPORT uint32_t NbQueryComponent(const Nb::Uuid* classId, const Nb::Uuid* iid, void** out)
{
    if (!classId || !iid || !out)
        return nbE_POINTER;
    if (!sameId(*classId, CLSID_Ulvar))
        return nbE_NO_COMPONENT;
    if (!sameId(*iid, IID_nbIUnknown) && !sameId(*iid, IID_nbIUlvar))
        return nbE_NO_INTERFACE;
    Bc::BcUlvar* component = new Bc::BcUlvar();
    const uint32_t result = component->queryInterface(iid, out);
    if (int32_t(result) < 0)
        delete component;
    return result;
}

extern "C" NB_MODULE_EXPORT uint32_t NbEnumComponents(nbIEnumerator* enumerator)
{
    if (!enumerator)
        return nbE_PARAM;
    QFile descriptor(QStringLiteral(":/info/ulvar"));
    if (!descriptor.open(QIODevice::ReadOnly))
        return nbE_OBJECT_NOT_FOUND;
    const QByteArray text = descriptor.readAll();
    Nb::Data buffer;
    if (!buffer.set(reinterpret_cast<const uint8_t*>(text.constData()), int32_t(text.size())))
        return nbE_OUT_OF_MEMORY;
    enumerator->onComponent(1, 0, &CLSID_Ulvar, reinterpret_cast<const char*>(buffer.data()));
    return nbS_OK;
}

extern "C" NB_MODULE_EXPORT int32_t NbCanUnload() { return Bc::BcUlvar::liveCount.load(); }

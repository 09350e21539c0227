// Hostile parameter containers handed to the engine component as the
// runtime hands them: whatever it accepts must write back to bytes that a
// fresh component accepts and writes back unchanged, and every refusal must
// leave an empty converter.

#include "FuzzSetup.h"

#include <cstdint>
#include <cstring>

#include <QByteArray>
#include <QDataStream>
#include <QtEndian>

#include "bc/BcUlvar.h"
#include "qtnb/Container.h"

namespace {

QByteArray prefixed(const char* bytes, int n)
{
    QByteArray out(4, '\0');
    qToLittleEndian<int32_t>(n, out.data());
    out.append(bytes, n);
    return out;
}

// The engine's parameter bytes, through the buffer-size protocol.
QByteArray params(Bc::BcUlvar& u, uint32_t& rc)
{
    QByteArray probe = prefixed("", 0);
    rc = u.getParams(probe.data() + 4, nullptr);
    if (rc != nbE_INSUFFICIENT_BUFFER && rc != nbS_OK)
        return QByteArray();
    const int32_t n = qFromLittleEndian<int32_t>(probe.constData());
    QByteArray buffer = prefixed(QByteArray(n, '\0').constData(), n);
    rc = u.getParams(buffer.data() + 4, nullptr);
    if (rc != nbS_OK || qFromLittleEndian<int32_t>(buffer.constData()) != n)
        __builtin_trap();
    return buffer;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1 << 20))
        return 0;
    const QByteArray buffer = prefixed(reinterpret_cast<const char*>(data), int(size));

    Bc::BcUlvar* u = new Bc::BcUlvar();
    void* out = nullptr;
    u->queryInterface(&IID_nbIUlvar, &out);
    u->clear(Nb::SchemeParts(0x3F));
    const uint32_t loaded = u->setParams(buffer.constData() + 4);
    if (loaded != nbS_OK) {
        if (u->scheme().count() != 0 || !u->scheme().kept().isEmpty() || u->scheme().flags() != 0)
            __builtin_trap();
        u->release();
        return 0;
    }
    if (u->scheme().count() == 0 || !(u->scheme().flags() & Bc::BcScheme::FlagValid))
        __builtin_trap();

    // Running an accepted converter without samples fails cleanly.
    Nb::Matrix code(1, u->scheme().at(u->scheme().out())->meta());
    if (u->emulate(nullptr, &code, nullptr) == nbS_OK)
        __builtin_trap();

    uint32_t rc = 0;
    const QByteArray first = params(*u, rc);
    u->release();
    if (rc != nbS_OK)
        return 0;

    Bc::BcUlvar* again = new Bc::BcUlvar();
    again->queryInterface(&IID_nbIUlvar, &out);
    if (again->setParams(first.constData() + 4) != nbS_OK)
        __builtin_trap();
    const QByteArray second = params(*again, rc);
    if (rc != nbS_OK || second != first)
        __builtin_trap();
    again->release();
    return 0;
}

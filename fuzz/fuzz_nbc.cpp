// Biometric containers from outside (imported ".nbc" files, the bytes the
// wizard library returns): read by fromBytes and by readFile's reading,
// which must agree; a refused input leaves the container as it was; every
// accessor reads an accepted container's blocks without a crash; and an
// accepted container, also after a rename as the container manager does,
// writes back to bytes that read to the same container.

#include "FuzzSetup.h"
#include "nb-cpp/Exception.h"
#include "nb-cpp/Nbc.h"

#include <cstddef>
#include <cstdint>
#include <QBuffer>
#include <QByteArray>

namespace {

QByteArray bytesOf(const Nbc& nbc)
{
    QByteArray b;
    return nbc.toBytes(b) ? b : QByteArray();
}

// Every reader of the content, over whatever the blocks hold.
void readAll(const Nbc& nbc)
{
    nbc.name();
    nbc.text();
    nbc.schemeNumber();
    nbc.codeLength();
    try {
        nbc.containerId();
    } catch (const Exception&) {
    }
    Nb::Scheme scheme;
    nbc.scheme(scheme);
    Nb::Matrix m;
    for (const Nb::Block* b : nbc.blocks()) {
        if (b->type() != Nbc::BtTemplate)
            continue;
        uint16_t input = 0;
        Nb::Uuid type;
        Nbc::templateHead(*b, input, type);
        nbc.getTemplate(Nb::SlotId(input), type, m);
        nbc.inputModules(Nb::SlotId(input));
    }
    QByteArray code;
    if (nbc.codeMatrix(m)) {
        nbc.code(code);
        nbc.checkCodeHash(m);
    }
}

// Written and read again: the same bytes.
void roundTrip(const Nbc& nbc)
{
    const QByteArray out = bytesOf(nbc);
    Nbc back;
    if (out.isEmpty() || !back.fromBytes(out) || bytesOf(back) != out)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size));
    Nbc nbc;
    nbc.setName("kept");
    const QByteArray before = bytesOf(nbc);
    const bool accepted = nbc.fromBytes(bytes);
    if (!accepted && bytesOf(nbc) != before)
        __builtin_trap();

    Nbc viaFile;
    viaFile.setName("kept");
    const QByteArray kept = bytesOf(viaFile);
    QBuffer file;
    file.setData(bytes);
    file.open(QIODevice::ReadOnly);
    bool read = false;
    try {
        read = viaFile.readFile(file);
    } catch (const Exception&) {
    }
    if (read != accepted || bytesOf(viaFile) != (accepted ? bytesOf(nbc) : kept))
        __builtin_trap();
    if (!accepted)
        return 0;

    readAll(nbc);
    roundTrip(nbc);
    nbc.setName(QString::fromUtf8("Отпечаток"));
    if (nbc.name() != QString::fromUtf8("Отпечаток"))
        __builtin_trap();
    roundTrip(nbc);
    return 0;
}

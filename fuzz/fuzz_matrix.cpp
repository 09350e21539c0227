// Untrusted matrix bytes (parameter and template blocks of imported
// containers): read, written back, read again and dumped. No input may crash,
// over-read or claim more bytes than it was given.

#include "FuzzSetup.h"
#include "qtnb/Matrix.h"

#include <cstddef>
#include <cstdint>
#include <QByteArray>
#include <QDataStream>
#include <QString>

namespace {

QByteArray written(const Nb::Matrix& m)
{
    QByteArray out;
    QDataStream s(&out, QIODevice::WriteOnly);
    if (m.write(s) != out.size())
        __builtin_trap();
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size));

    Nb::Matrix m;
    QDataStream in(bytes);
    const int32_t r = m.read(in);
    if (r > int32_t(size) || (r < 0 && m.state() != 0))
        __builtin_trap();

    // What was read writes back and reads again to the same bytes.
    const QByteArray out = written(m);
    if (r >= 0) {
        Nb::Matrix again;
        QDataStream back(out);
        if (again.read(back) != out.size() || written(again) != out)
            __builtin_trap();
    }

    // Cells of size 0 take no bytes, so a short input may lay out up to a
    // million of them; dumping those only slows the search down.
    if (int64_t(m.rows()) * m.cols() > 4096)
        return 0;
    QString text;
    {
        QDebug dbg(&text);
        dbg << m;
        for (int32_t row = 0; row < m.rows(); ++row)
            dbg << Nb::Matrix::Row(&m, row);
    }
    return 0;
}

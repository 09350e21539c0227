#include "qtnb/Wipe.h"

#include "qtnb/Matrix.h"

#include <algorithm>
#include <cstring>

namespace Nb {

void wipe(void* data, std::size_t size)
{
    if (!data || size == 0)
        return;
    // Called through a volatile pointer, the store cannot be proved dead.
    static void* (*const volatile zero)(void*, int, std::size_t) = std::memset;
    zero(data, 0, size);
}

void wipeInPlace(const QByteArray& bytes)
{
    if (bytes.capacity() > 0)
        wipe(const_cast<char*>(bytes.constData()), std::size_t(bytes.capacity()));
}

void wipeInPlace(const QString& text)
{
    if (text.capacity() > 0)
        wipe(const_cast<QChar*>(text.constData()), std::size_t(text.capacity()) * sizeof(QChar));
}

void wipe(QByteArray& bytes)
{
    // data() would copy a shared array first and wipe only the copy.
    if (bytes.isDetached())
        wipeInPlace(bytes);
    bytes.clear();
}

void wipe(QString& text)
{
    if (text.isDetached())
        wipeInPlace(text);
    text.clear();
}

void wipe(Matrix& matrix)
{
    Cell** rows = matrix.data();
    if (!rows)
        return;
    for (int32_t r = 0; r < matrix.rows(); ++r) {
        if (!rows[r])
            continue;
        const int64_t size = std::max<int64_t>(matrix.meta(r).checkedSize(), 0);
        // Up to the capacity: a shrunk matrix keeps its cells beyond its columns.
        for (int32_t c = 0; c < matrix.caps(); ++c)
            if (!rows[r][c].isNull())
                wipe(rows[r][c].at(0), std::size_t(size));
    }
}

} // namespace Nb

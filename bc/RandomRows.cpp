#include "bc/RandomRows.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#include <QUuid>

#include "qtnb/Error.h"
#include "qtnb/Uuid.h"
#include "qtnb/Wipe.h"

namespace Bc {

namespace {

using Row = Nb::Matrix::Row;

// Bytes of one cell of the Meta, or -1 for a Meta no cell can have.
inline int64_t cellSize(const Nb::Meta& meta) { return meta.checkedSize(); }

// The row exists, has at least `cols` columns and holds a buffer for each of
// the first `cols` cells (cells of 0 bytes need none); size gets its cell size.
bool cellsPresent(const Row& row, int32_t cols, int64_t& size)
{
    if (row.isNull() || !row.matrix()->metas() || row.index() >= row.matrix()->rows())
        return false;
    size = cellSize(row.meta());
    if (size < 0 || row.cols() < cols)
        return false;
    if (cols == 0 || size == 0)
        return true;
    const Nb::Cell* cells = row.data();
    if (!cells)
        return false;
    for (int32_t j = 0; j < cols; ++j)
        if (cells[j].isNull())
            return false;
    return true;
}

bool sameRow(const Row& a, const Row& b) { return a.matrix() == b.matrix() && a.index() == b.index(); }

} // namespace

bool fillRandom(const Row& row)
{
    if (row.isNull() || row.isReadOnly()) {
        BC_ERR(1);
        return false;
    }
    int64_t size = 0;
    const int32_t cols = row.cols();
    if (!cellsPresent(row, cols, size)) {
        BC_ERR(2);
        return false;
    }
    const Nb::Cell* cells = row.data();
    for (int32_t j = 0; j < cols; ++j) {
        for (int64_t offset = 0; offset < size; offset += Nb::Uuid::Size) {
            // Through the text form, as every random identifier is made.
            const Nb::Uuid piece(QUuid::createUuid().toString());
            const int64_t n = std::min<int64_t>(Nb::Uuid::Size, size - offset);
            std::memcpy(cells[j].at(int32_t(offset)), piece.data(), size_t(n));
        }
    }
    return true;
}

bool fillRandomRows(const Nb::Rows& rows)
{
    for (const Row& row : rows)
        if (!fillRandom(row))
            return false;
    return true;
}

bool keyStream(const Nb::Rows& in, const Row& out, const Row& mask, const Row& salt)
{
    if (out.isNull() || out.isReadOnly()) {
        BC_ERR(1);
        return false;
    }
    const int32_t cols = out.cols();
    int64_t outSize = 0;
    if (!cellsPresent(out, cols, outSize)) {
        BC_ERR(2);
        return false;
    }
    std::vector<int64_t> inSizes(size_t(in.size()));
    for (int i = 0; i < in.size(); ++i) {
        if (!cellsPresent(in.at(i), cols, inSizes[size_t(i)])) {
            BC_ERR(3);
            return false;
        }
    }
    int64_t maskSize = 0;
    if (!mask.isNull() && (!cellsPresent(mask, 1, maskSize) || maskSize < outSize)) {
        BC_ERR(4);
        return false;
    }
    int64_t saltSize = 0;
    if (!salt.isNull() && !cellsPresent(salt, 1, saltSize)) {
        BC_ERR(5);
        return false;
    }
    if (cols == 0)
        return true;

    // Mask and salt serve every column; copies keep them whole when the
    // output row is one of them.
    std::vector<uint8_t> maskBytes;
    if (!mask.isNull() && outSize > 0)
        maskBytes.assign(mask.at(0), mask.at(0) + outSize);
    std::vector<uint8_t> saltCopy;
    const uint8_t* saltBytes = saltSize > 0 ? salt.at(0) : nullptr;
    if (saltBytes && sameRow(salt, out)) {
        saltCopy.assign(saltBytes, saltBytes + saltSize);
        saltBytes = saltCopy.data();
    }

    const Nb::Cell* outCells = out.data();
    Md5 md5;
    uint8_t digest[16];
    for (int32_t j = 0; j < cols; ++j) {
        md5.init();
        for (int i = 0; i < in.size(); ++i)
            if (inSizes[size_t(i)] > 0)
                md5.update(in.at(i).at(j), uint32_t(inSizes[size_t(i)]));
        if (saltBytes)
            md5.update(saltBytes, uint32_t(saltSize));
        md5.final(digest);
        uint8_t* cell = outSize > 0 ? outCells[j].at(0) : nullptr;
        for (int64_t offset = 0; offset < outSize; offset += 16) {
            const int64_t n = std::min<int64_t>(16, outSize - offset);
            for (int64_t b = 0; b < n; ++b)
                cell[offset + b] = maskBytes.empty() ? digest[b]
                                                     : uint8_t(digest[b] ^ maskBytes[size_t(offset + b)]);
        }
    }
    Nb::wipe(digest, sizeof digest);
    Nb::wipe(maskBytes);
    Nb::wipe(saltCopy);
    return true;
}

bool joinRows(const Nb::Rows& in, const Row& out)
{
    if (out.isReadOnly()) {
        BC_ERR(1);
        return false;
    }
    return out.join(in, 0);
}

bool splitRow(const Row& row, Nb::Rows& out)
{
    for (const Row& part : out)
        if (part.isReadOnly()) {
            BC_ERR(1);
            return false;
        }
    return row.split(out, 0);
}

bool digestRow(const Row& row, uint32_t bits, Md5Digest& out)
{
    out.clear();
    int64_t size = 0;
    if (!cellsPresent(row, 1, size)) {
        BC_ERR(1);
        return false;
    }
    Md5::digest(size > 0 ? row.at(0) : nullptr, uint32_t(size), out.data());
    out.keepFirstBits(bits);
    return true;
}

bool checkDigests(const Row& row, const Row& out, uint32_t bits, const Md5Digest& reference)
{
    const int32_t cols = row.cols();
    int64_t size = 0;
    if (!cellsPresent(row, cols, size)) {
        BC_ERR(1);
        return false;
    }
    int64_t outSize = 0;
    const Nb::MetaFormat format = out.meta().format;
    if (out.isReadOnly() || !cellsPresent(out, cols, outSize) || outSize < 4 ||
        (format != Nb::MfI32 && format != Nb::MfU32)) {
        BC_ERR(2);
        return false;
    }
    const int32_t mismatch = row.meta().count;
    Md5Digest digest;
    for (int32_t j = 0; j < cols; ++j) {
        Md5::digest(size > 0 ? row.at(j) : nullptr, uint32_t(size), digest.data());
        digest.keepFirstBits(bits);
        const int32_t v = digest.equal(reference) ? 0 : mismatch;
        std::memcpy(out.at(j), &v, sizeof v);
    }
    return true;
}

} // namespace Bc

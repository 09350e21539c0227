#include "qtnb/Matrix.h"
#include "qtnb/Data.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include <QIODevice>
#include <QtEndian>

#include "qtnb/Container.h"
#include "qtnb/Enums.h"

namespace Nb {

namespace {

constexpr int32_t MaxRows = 65535;

inline int64_t cellBytes(const Meta& meta) { return meta.checkedSize(); }

void writeInt32(QDataStream& s, int32_t v) { detail::writeLe(s, v); }

int32_t readInt32(QDataStream& s)
{
    int32_t v = 0;
    detail::readLe(s, v);
    return v;
}

bool ok(const QDataStream& s) { return s.status() == QDataStream::Ok; }

// The row number lies inside its matrix and its Meta gives a usable size.
bool usable(const Matrix::Row& row)
{
    const Matrix* m = row.matrix();
    return m && m->metas() && row.index() < m->rows() && cellBytes(m->metas()[row.index()]) >= 0;
}

} // namespace

// ---------------------------------------------------------------- Matrix

Matrix::Matrix() = default;

Matrix::Matrix(int32_t rows, int32_t cols, const Meta* metas)
{
    create(rows, metas);
    resize(cols);
}

Matrix::Matrix(int32_t cols, const Meta& meta)
{
    create(meta);
    resize(cols);
}

Matrix::Matrix(const Rows& rows)
{
    create(rows);
    resize(rows.isEmpty() ? 0 : rows.first().cols());
    assign(rows);
}

Matrix::~Matrix() { clear(); }

void Matrix::clear()
{
    if (m_cells) {
        for (int32_t r = 0; r < m_rows; ++r) {
            if (!m_cells[r])
                continue;
            for (int32_t c = 0; c < m_caps; ++c)
                m_cells[r][c].release();
            delete[] m_cells[r];
        }
        delete[] m_cells;
    }
    delete[] m_metas;
    m_cells = nullptr;
    m_metas = nullptr;
    m_rows = 0;
    m_cols = 0;
    m_caps = 0;
}

bool Matrix::create(int32_t count, const Meta* metas)
{
    if (count < 1 || count > MaxRows || !metas) {
        clear();
        return false;
    }
    // Copied before clearing: the Metas may be this matrix's own.
    Meta* copied = new (std::nothrow) Meta[size_t(count)];
    if (copied)
        std::copy(metas, metas + count, copied);
    clear();
    if (!copied)
        return false;
    m_metas = copied;
    m_rows = count;
    return true;
}

bool Matrix::create(const Meta& meta) { return create(1, &meta); }

bool Matrix::create(const Rows& rows)
{
    std::vector<Meta> metas;
    metas.reserve(size_t(std::min(rows.size(), MaxRows + 1)));
    for (const Row& row : rows) {
        metas.push_back(row.meta());
        if (metas.size() > size_t(MaxRows))
            break;
    }
    return create(int32_t(metas.size()), metas.data());
}

bool Matrix::setMeta(int32_t row, const Meta& meta)
{
    if (row < 0 || row >= m_rows || !m_metas)
        return false;
    if (m_cells && m_cells[row] && m_caps > 0) {
        const int64_t grown = cellBytes(meta);
        if (grown < 0)
            return false;
        if (grown > std::max<int64_t>(cellBytes(m_metas[row]), 0)) {
            // Every cell up to the capacity gets a buffer of the new size,
            // those that had none included; all or nothing.
            Cell* fresh = new (std::nothrow) Cell[size_t(m_caps)];
            if (!fresh)
                return false;
            for (int32_t c = 0; c < m_caps; ++c) {
                if (!fresh[c].allocate(int32_t(grown))) {
                    for (int32_t k = 0; k < c; ++k)
                        fresh[k].release();
                    delete[] fresh;
                    return false;
                }
            }
            for (int32_t c = 0; c < m_caps; ++c) {
                m_cells[row][c].release();
                m_cells[row][c] = fresh[c];
            }
            delete[] fresh;
        }
    }
    m_metas[row] = meta;
    return true;
}

bool Matrix::reserve(int32_t capacity)
{
    if (m_rows <= 0 || !m_metas)
        return false;
    if (capacity <= m_caps)
        return true;
    for (int32_t r = 0; r < m_rows; ++r)
        if (cellBytes(m_metas[r]) < 0)
            return false;

    const bool madeTable = !m_cells;
    if (madeTable) {
        m_cells = new (std::nothrow) Cell*[size_t(m_rows)]();
        if (!m_cells)
            return false;
    }
    // Grow every row into new arrays first, so that a failure leaves the
    // matrix as it was.
    Cell** grown = new (std::nothrow) Cell*[size_t(m_rows)]();
    bool done = grown != nullptr;
    for (int32_t r = 0; done && r < m_rows; ++r) {
        grown[r] = new (std::nothrow) Cell[size_t(capacity)];
        if (!grown[r]) {
            done = false;
            break;
        }
        const int32_t old = m_cells[r] ? m_caps : 0;
        std::copy(m_cells[r], m_cells[r] + old, grown[r]);
        const int32_t size = int32_t(cellBytes(m_metas[r]));
        for (int32_t c = old; c < capacity; ++c)
            if (!grown[r][c].allocate(size)) {
                done = false;
                break;
            }
    }
    if (!done) {
        if (grown) {
            for (int32_t r = 0; r < m_rows; ++r) {
                if (!grown[r])
                    continue;
                for (int32_t c = m_cells[r] ? m_caps : 0; c < capacity; ++c)
                    grown[r][c].release();
                delete[] grown[r];
            }
            delete[] grown;
        }
        if (madeTable) {
            delete[] m_cells;
            m_cells = nullptr;
        }
        return false;
    }
    for (int32_t r = 0; r < m_rows; ++r) {
        delete[] m_cells[r];
        m_cells[r] = grown[r];
    }
    delete[] grown;
    m_caps = capacity;
    return true;
}

bool Matrix::resize(int32_t cols)
{
    if (cols < 0)
        return false;
    if (cols > m_caps && !reserve(cols))
        return false;
    m_cols = cols;
    return true;
}

bool Matrix::hasRow(int32_t row) const
{
    return m_metas && m_cells && row >= 0 && row < m_rows && m_cells[row];
}

bool Matrix::isNil() const
{
    if (!m_metas || !m_cells || m_cols == 0)
        return true;
    for (int32_t r = 0; r < m_rows; ++r)
        if (!m_cells[r])
            return true;
    return false;
}

int32_t Matrix::state() const
{
    if (!m_metas)
        return 0;
    if (m_rows > MaxRows)
        return 3;
    if (m_rows == 0)
        return 4;
    return m_cells ? 2 : 1;
}

bool Matrix::assign(const Rows& rows)
{
    // Copies what fits into this matrix's cells; false when a source row
    // held more columns or larger cells than there was room for.
    bool fitted = true;
    const int32_t n = std::min(m_rows, int32_t(rows.size()));
    for (int32_t r = 0; r < n; ++r) {
        const Row& src = rows.at(r);
        if (src.isNull() || src.cols() == 0)
            continue;
        if (!usable(src) || !m_metas) {
            fitted = false;
            continue;
        }
        const int64_t srcSize = cellBytes(src.meta());
        const int64_t dstSize = cellBytes(m_metas[r]);
        if (src.cols() > m_cols || srcSize > dstSize)
            fitted = false;
        const int32_t cols = std::min(src.cols(), m_cols);
        const int64_t bytes = std::min(srcSize, dstSize);
        Cell* from = src.data();
        if (cols == 0 || bytes <= 0)
            continue;
        if (!from || !m_cells || !m_cells[r]) {
            fitted = false;
            continue;
        }
        for (int32_t c = 0; c < cols; ++c) {
            if (from[c].isNull() || m_cells[r][c].isNull()) {
                fitted = false;
                continue;
            }
            std::memmove(m_cells[r][c].at(0), from[c].at(0), size_t(bytes));
        }
    }
    return fitted;
}

bool Matrix::assign(const Matrix& other)
{
    if (&other == this)
        return true;
    return assign(Rows(other));
}

bool Matrix::convert(const Rows& rows)
{
    if (rows.size() != m_rows)
        return false;
    for (int32_t r = 0; r < m_rows; ++r)
        Row(this, r).convert(rows.at(r));
    return true;
}

bool Matrix::convert(const Matrix& other)
{
    if (&other == this)
        return true;
    return convert(Rows(other));
}

int32_t Matrix::write(QDataStream& s) const
{
    if (!ok(s))
        return 0;
    writeInt32(s, m_rows);
    writeInt32(s, m_cols);
    writeInt32(s, 0);
    writeInt32(s, 0);
    if (!ok(s))
        return -1;
    int64_t total = 16;
    for (int32_t r = 0; r < m_rows; ++r) {
        writeInt32(s, m_metas[r].count);
        const char fields[2] = {char(m_metas[r].format), char(m_metas[r].type)};
        s.writeRawData(fields, 2);
        total += 6;
    }
    if (m_rows != 0 && m_cols != 0) {
        static const char zeros[256] = {};
        for (int32_t r = 0; r < m_rows; ++r) {
            const int64_t size = cellBytes(m_metas[r]);
            if (size < 0 || !m_cells || !m_cells[r])
                return -1;
            for (int32_t c = 0; c < m_cols; ++c) {
                const Cell& cell = m_cells[r][c];
                if (!cell.isNull()) {
                    s.writeRawData(reinterpret_cast<const char*>(cell.at(0)), int(size));
                } else {
                    // A cell without a buffer still takes its place in the form.
                    for (int64_t left = size; left > 0; left -= int64_t(sizeof zeros))
                        s.writeRawData(zeros, int(std::min<int64_t>(left, sizeof zeros)));
                }
                total += size;
            }
        }
    }
    if (!ok(s) || total > std::numeric_limits<int32_t>::max())
        return -1;
    return int32_t(total);
}

int32_t Matrix::read(QDataStream& s)
{
    if (!ok(s))
        return -1;
    clear();
    const int32_t rows = readInt32(s);
    const int32_t cols = readInt32(s);
    const int32_t third = readInt32(s);
    const int32_t fourth = readInt32(s);
    if (!ok(s))
        return -1;
    if (uint32_t(rows) > uint32_t(MaxRows) || (rows == 0 && third != 0 && fourth == 0))
        return 16;
    if (cols < 0)
        return -1;
    if (rows == 0)
        return 16;

    // Every size is checked against the bytes that are there before anything
    // is allocated from them.
    QIODevice* device = s.device();
    int64_t available = device ? device->bytesAvailable() : 0;
    const int64_t metaBytes = 6 * int64_t(rows);
    if (metaBytes > available)
        return -1;
    std::vector<Meta> metas(static_cast<size_t>(rows));
    for (Meta& m : metas) {
        m.count = readInt32(s);
        char fields[2] = {};
        s.readRawData(fields, 2);
        m.format = MetaFormat(uint8_t(fields[0]));
        m.type = MetaType(uint8_t(fields[1]));
    }
    if (!ok(s))
        return -1;
    available -= metaBytes;
    int64_t dataBytes = 0;
    for (const Meta& m : metas) {
        const int64_t size = cellBytes(m);
        if (size < 0)
            return -1;
        dataBytes += size * cols;
        if (dataBytes > available)
            return -1;
    }
    // Cells of size 0 take no bytes but still cost a pointer each.
    if (int64_t(rows) * cols > std::max<int64_t>(available, int64_t(1) << 20))
        return -1;

    if (!create(rows, metas.data()) || !resize(cols)) {
        clear();
        return -1;
    }
    if (cols != 0) {
        for (int32_t r = 0; r < rows; ++r) {
            const int32_t size = int32_t(cellBytes(metas[size_t(r)]));
            if (size == 0)
                continue;
            for (int32_t c = 0; c < cols; ++c)
                s.readRawData(reinterpret_cast<char*>(m_cells[r][c].at(0)), size);
        }
    }
    if (!ok(s)) {
        clear();
        return -1;
    }
    return int32_t(16 + metaBytes + dataBytes);
}

// ------------------------------------------------------- inside a block

Block& Block::push(const Matrix& matrix)
{
    return pushStream([&](QDataStream& s) { matrix.write(s); });
}

const Block& Block::pop(int32_t& pos, Matrix& matrix) const
{
    return popStream(pos, [&](QDataStream& s) { return matrix.read(s); });
}

// ---------------------------------------------------------------- Rows

Rows::Rows(const Matrix& matrix)
{
    reserve(matrix.rows());
    for (int32_t r = 0; r < matrix.rows(); ++r)
        append(Matrix::Row(&matrix, r));
}

Rows::Rows(Matrix& matrix)
{
    reserve(matrix.rows());
    for (int32_t r = 0; r < matrix.rows(); ++r)
        append(Matrix::Row(&matrix, r));
}

// ---------------------------------------------------------------- Row

Matrix::Row::Row(Matrix* matrix, int32_t index) { set(matrix, index); }

Matrix::Row::Row(const Matrix* matrix, int32_t index)
    : m_matrix(const_cast<Matrix*>(matrix)), m_index(int32_t(uint32_t(index) | 0x80000000u))
{
}

void Matrix::Row::set(Matrix* matrix, int32_t index)
{
    m_matrix = matrix;
    m_index = int32_t(uint32_t(index) & 0x7FFFFFFFu);
}

void Matrix::Row::assignReadOnly(const Row& other)
{
    m_matrix = other.m_matrix;
    m_index = int32_t(uint32_t(other.m_index) | 0x80000000u);
}

void Matrix::Row::reset()
{
    m_matrix = nullptr;
    m_index = 0;
}

bool Matrix::Row::isNil() const { return !m_matrix || m_matrix->isNil(); }

Meta Matrix::Row::meta() const
{
    if (!m_matrix || !m_matrix->m_metas || index() >= m_matrix->m_rows)
        return Meta();
    return m_matrix->m_metas[index()];
}

int32_t Matrix::Row::cols() const { return m_matrix ? m_matrix->m_cols : 0; }

Cell* Matrix::Row::data() const
{
    if (!m_matrix || !m_matrix->m_cells || index() >= m_matrix->m_rows)
        return nullptr;
    return m_matrix->m_cells[index()];
}

uint8_t* Matrix::Row::at(int32_t col) const
{
    Cell* cells = data();
    if (!cells || col < 0 || col >= m_matrix->m_caps)
        return nullptr;
    return cells[col].at(0);
}

bool Matrix::Row::valid() const { return usable(*this); }

int32_t Matrix::Row::cellSize() const { return int32_t(cellBytes(meta())); }

int32_t Matrix::Row::zero() const
{
    Cell* cells = data();
    if (!cells || !valid())
        return 0;
    const int32_t size = cellSize();
    for (int32_t c = 0; c < cols(); ++c)
        if (!cells[c].isNull() && size > 0)
            std::memset(cells[c].at(0), 0, size_t(size));
    return cols();
}

bool Matrix::Row::resize(int32_t cols) const
{
    if (isReadOnly() || !m_matrix)
        return false;
    return m_matrix->resize(cols);
}

bool Matrix::Row::resize(int32_t cols, const Meta& meta) const
{
    if (isReadOnly() || !m_matrix || cols < 0)
        return false;
    if (!m_matrix->setMeta(index(), meta))
        return false;
    return m_matrix->resize(cols);
}

Matrix::Row::View Matrix::Row::view() const
{
    View v;
    if (!m_matrix)
        return v;
    v.rows = 1;
    v.cols = m_matrix->m_cols;
    if (m_matrix->m_metas && index() < m_matrix->m_rows)
        v.metas = m_matrix->m_metas + index();
    if (m_matrix->m_cells && index() < m_matrix->m_rows)
        v.data = m_matrix->m_cells + index();
    return v;
}

// ------------------------------------------------- row copy and conversion

bool Matrix::Row::copyCell(const Row& src, int32_t srcCol, int32_t col) const
{
    if (!valid() || !src.valid())
        return false;
    if (srcCol < 0 || srcCol >= src.cols() || col < 0 || col >= cols())
        return false;
    const int32_t size = src.cellSize();
    if (size > cellSize())
        return false;
    Cell* from = src.data();
    Cell* to = data();
    if (!from || !to || from[srcCol].isNull() || to[col].isNull())
        return false;
    std::memmove(to[col].at(0), from[srcCol].at(0), size_t(size));
    return true;
}

bool Matrix::Row::copy(const Row& src, int32_t srcCol, int32_t col, int32_t count, int32_t srcByte,
                       int32_t byte, int32_t len) const
{
    if (srcCol < 0 || col < 0 || count < 0 || srcByte < 0 || byte < 0 || len < 0)
        return false;
    // The same cells onto themselves (two rows without storage included):
    // nothing to do.
    Cell* from = src.data();
    Cell* to = data();
    if (from == to && srcCol == col && srcByte == byte)
        return true;
    if (!valid() || !src.valid())
        return false;
    if (int64_t(count) > int64_t(src.cols()) - srcCol || int64_t(count) > int64_t(cols()) - col)
        return false;
    if (int64_t(srcByte) + len > src.cellSize() || int64_t(byte) + len > cellSize())
        return false;
    if (src.meta().format != meta().format)
        return false;
    if (!from || !to)
        return false;
    bool whole = true;
    for (int32_t k = 0; k < count; ++k) {
        const Cell& a = from[srcCol + k];
        const Cell& b = to[col + k];
        if (a.isNull() || b.isNull()) {
            if (len > 0)
                whole = false;
            continue;
        }
        std::memmove(b.at(byte), a.at(srcByte), size_t(len));
    }
    return whole;
}

bool Matrix::Row::copy(const Row& src) const
{
    if (!(meta() == src.meta()))
        return false;
    return copy(src, 0, 0, src.cols(), 0, 0, src.cellSize());
}

bool Matrix::Row::copy(const Row& src, int32_t srcCol, int32_t col, int32_t count) const
{
    if (!(meta() == src.meta()))
        return false;
    return copy(src, srcCol, col, count, 0, 0, src.cellSize());
}

bool Matrix::Row::convert(const Row& src) const
{
    Cell* from = src.data();
    Cell* to = data();
    if (from == to)
        return true;
    if (!valid() || !src.valid())
        return false;
    if (cols() != src.cols() || meta().count != src.meta().count)
        return false;
    const Cell::Converter f = Cell::converter(meta().format, src.meta().format);
    if (!f)
        return copy(src);
    const int32_t count = meta().count;
    if (cols() > 0 && (!from || !to))
        return false;
    bool whole = true;
    for (int32_t c = 0; c < cols(); ++c) {
        if (count == 0)
            break;
        if (from[c].isNull() || to[c].isNull()) {
            whole = false;
            continue;
        }
        f(to[c], from[c], count);
    }
    return whole;
}

// ------------------------------------------------------- joining, splitting

namespace {

// Moves cells between a joined row and its parts in one of the three modes,
// towards the joined row or away from it. The whole layout is checked first:
// nothing is read or written outside a cell.
bool moveParts(const Matrix::Row& joined, const Rows& parts, int32_t mode, bool join)
{
    if (mode < 0 || mode > 2)
        return false;
    if (parts.isEmpty())
        return true;
    if (!usable(joined))
        return false;
    const int64_t joinedSize = cellBytes(joined.meta());
    Cell* joinedCells = joined.data();
    const int64_t joinedCols = joined.cols();
    const int32_t n = int32_t(parts.size());

    std::vector<int64_t> sizes(static_cast<size_t>(n));
    for (int32_t p = 0; p < n; ++p) {
        const Matrix::Row& part = parts.at(p);
        if (!usable(part))
            return false;
        sizes[size_t(p)] = cellBytes(part.meta());
        if (sizes[size_t(p)] < 0 || (part.cols() > 0 && !part.data()))
            return false;
    }
    const int32_t firstCols = parts.at(0).cols();
    const int64_t unit = sizes[0];
    if (mode == 0) {
        int64_t offset = 0;
        for (int32_t p = 0; p < n; ++p) {
            if (parts.at(p).cols() > joinedCols)
                return false;
            offset += sizes[size_t(p)];
        }
        if (offset > joinedSize)
            return false;
    } else {
        int64_t needed = 0;
        for (int32_t p = 0; p < n; ++p) {
            if (sizes[size_t(p)] < unit)
                return false;
            if (mode == 1 && parts.at(p).cols() < firstCols)
                return false;
            needed += mode == 1 ? firstCols : parts.at(p).cols();
        }
        if (needed > joinedCols || unit > joinedSize)
            return false;
    }
    if (joinedCols > 0 && !joinedCells)
        return false;

    bool whole = true;
    auto move = [&](const Cell& partCell, const Cell& joinedCell, int64_t offset, int64_t bytes) {
        if (bytes <= 0)
            return;
        if (partCell.isNull() || joinedCell.isNull()) {
            whole = false;
            return;
        }
        if (join)
            std::memmove(joinedCell.at(int32_t(offset)), partCell.at(0), size_t(bytes));
        else
            std::memmove(partCell.at(0), joinedCell.at(int32_t(offset)), size_t(bytes));
    };
    if (mode == 0) {
        int64_t offset = 0;
        for (int32_t p = 0; p < n; ++p) {
            const Matrix::Row& part = parts.at(p);
            for (int32_t c = 0; c < part.cols(); ++c)
                move(part.data()[c], joinedCells[c], offset, sizes[size_t(p)]);
            offset += sizes[size_t(p)];
        }
    } else if (mode == 1) {
        for (int32_t c = 0; c < firstCols; ++c)
            for (int32_t p = 0; p < n; ++p)
                move(parts.at(p).data()[c], joinedCells[int64_t(c) * n + p], 0, unit);
    } else {
        int64_t k = 0;
        for (int32_t p = 0; p < n; ++p) {
            const Matrix::Row& part = parts.at(p);
            for (int32_t c = 0; c < part.cols(); ++c)
                move(part.data()[c], joinedCells[k++], 0, unit);
        }
    }
    return whole;
}

inline uint32_t element(const Cell& cell, uint32_t k, uint8_t bits)
{
    switch (bits) {
    case 1: return uint32_t(cell.bit(k));
    case 2: return uint32_t(cell.bits2(k));
    case 4: return uint32_t(cell.bits4(k));
    default: {
        uint32_t v = 0;
        std::memcpy(&v, cell.at(int32_t(k * (bits / 8u))), bits / 8u);
        return v;
    }
    }
}

inline void putElement(const Cell& cell, uint32_t k, uint8_t bits, uint32_t v)
{
    switch (bits) {
    case 1: cell.putBit(k, int32_t(v)); break;
    case 2: cell.putBits2(k, int32_t(v)); break;
    case 4: cell.putBits4(k, int32_t(v)); break;
    default: std::memcpy(cell.at(int32_t(k * (bits / 8u))), &v, bits / 8u); break;
    }
}

} // namespace

bool Matrix::Row::join(const Rows& src, int32_t mode) const { return moveParts(*this, src, mode, true); }

bool Matrix::Row::split(Rows& dst, int32_t mode) const { return moveParts(*this, dst, mode, false); }

bool Matrix::Row::transpose(const Row& src) const
{
    if (!valid() || !src.valid())
        return false;
    const Meta to = meta();
    const Meta from = src.meta();
    if (cols() != from.count || to.count != src.cols())
        return false;
    if (from.format != to.format || from.type != to.type)
        return false;
    const uint8_t bits = to.bits();
    if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16 && bits != 32)
        return false;
    const int32_t srcCells = to.count; // = src's cols
    const int32_t dstCells = cols();   // = src's count
    if (srcCells == 0 || dstCells == 0)
        return true;
    Cell* in = src.data();
    Cell* out = data();
    // A row cannot be its own transpose source: its cells would be
    // overwritten while they are still being read.
    if (!in || !out || in == out)
        return false;
    for (int32_t i = 0; i < srcCells; ++i)
        if (in[i].isNull())
            return false;
    for (int32_t j = 0; j < dstCells; ++j)
        if (out[j].isNull())
            return false;
    for (int32_t i = 0; i < srcCells; ++i)
        for (int32_t j = 0; j < dstCells; ++j)
            putElement(out[j], uint32_t(i), bits, element(in[i], uint32_t(j), bits));
    return true;
}

// ---------------------------------------------------------------- dumps

namespace {

const char16_t Blank = u' ';

void dumpCell(QDebug& dbg, const Cell& cell, const Meta& meta, int32_t size)
{
    switch (meta.format) {
    case MfI1:
    case MfU1:
        dbg << BitExcerpt{cell.at(0), excerptHead(size), size};
        break;
    case MfI32:
    case MfU32:
        dbg << Excerpt<int32_t>{reinterpret_cast<const int32_t*>(cell.at(0)), excerptHead(meta.count), &Blank,
                                meta.count};
        break;
    case MfR32:
        dbg << Excerpt<float>{reinterpret_cast<const float*>(cell.at(0)), excerptHead(meta.count), &Blank,
                              meta.count};
        break;
    default:
        dbg << Excerpt<uint8_t>{cell.at(0), excerptHead(size), &Blank, size};
        break;
    }
}

} // namespace

QDebug operator<<(QDebug dbg, const Matrix::Row& row)
{
    dbg.nospace();
    const Matrix* m = row.matrix();
    if (!m)
        return dbg << "Row(Nil)";
    if (row.index() >= m->rows())
        return dbg << "Row(ErrIRow)";
    if (!m->metas())
        return dbg << "Row(ErrMeta)";
    const Meta meta = row.meta();
    dbg << "Row(cols:" << row.cols() << " meta:" << meta << " data:";
    const Cell* cells = row.data();
    const int64_t size = cellBytes(meta);
    if (cells && size >= 0) {
        for (int32_t i = 0; i < row.cols(); ++i) {
            if (cells[i].isNull()) {
                dbg << i << ":Nil ";
                continue;
            }
            dbg << "\n\t" << i << ":[";
            dumpCell(dbg, cells[i], meta, int32_t(size));
            dbg << "] ";
        }
    } else {
        dbg << "\nNil";
    }
    return dbg << "\n)";
}

QDebug operator<<(QDebug dbg, const Matrix& matrix)
{
    dbg.nospace();
    dbg << "Matrix(rows:" << matrix.rows() << " cols:" << matrix.cols() << " caps:" << matrix.caps()
        << " data:\n";
    if (matrix.data()) {
        for (int32_t r = 0; r < matrix.rows(); ++r)
            dbg << r << ":" << Matrix::Row(&matrix, r) << "\n";
    } else {
        dbg << "Nil\n";
    }
    return dbg << ")";
}

} // namespace Nb

#pragma once
// Matrices of numbers: rows with their own element layout (Meta) and one
// separately allocated buffer per cell, light row references, and the
// matrix byte form (raw little-endian integers).

#include <cstdint>

#include <QDataStream>
#include <QDebug>
#include <QList>

#include "qtnb/Cell.h"
#include "qtnb/Meta.h"

namespace Nb {

class Rows;

class Matrix {
public:
    // A reference to one row of a matrix, possibly read-only. Rows are values:
    // copying one copies the reference. It stays valid while its matrix keeps
    // its layout.
    class Row {
    public:
        // Four words: 1, the columns, the row's Meta and the row's array slot.
        struct View {
            intptr_t rows = 0;
            intptr_t cols = 0;
            const Meta* metas = nullptr;
            Cell** data = nullptr;
        };

        Row() = default;
        Row(const Row&) = default;
        Row& operator=(const Row&) = default;
        Row(Matrix* matrix, int32_t index);
        Row(const Matrix* matrix, int32_t index); // read-only

        void set(Matrix* matrix, int32_t index);
        void assignReadOnly(const Row& other);
        void reset();

        bool isNull() const { return m_matrix == nullptr; }
        bool isReadOnly() const { return (uint32_t(m_index) & 0x80000000u) != 0; }
        bool isNil() const;
        Matrix* matrix() const { return m_matrix; }
        int32_t index() const { return int32_t(uint32_t(m_index) & 0x7FFFFFFFu); }

        Meta meta() const;
        int32_t cols() const;
        Cell* data() const;
        uint8_t* at(int32_t col) const;
        float* r32(int32_t col) const { return reinterpret_cast<float*>(at(col)); }
        int32_t* i32(int32_t col) const { return reinterpret_cast<int32_t*>(at(col)); }

        int32_t zero() const;
        bool resize(int32_t cols) const;
        bool resize(int32_t cols, const Meta& meta) const;
        View view() const;

        // Cell-level operations: this row is the destination.
        bool copyCell(const Row& src, int32_t srcCol, int32_t col) const;
        bool copy(const Row& src, int32_t srcCol, int32_t col, int32_t count, int32_t srcByte,
                  int32_t byte, int32_t len) const;
        bool copy(const Row& src) const;
        bool copy(const Row& src, int32_t srcCol, int32_t col, int32_t count) const;
        bool convert(const Row& src) const;
        bool join(const Rows& src, int32_t mode) const;
        bool split(Rows& dst, int32_t mode) const;
        bool transpose(const Row& src) const;

    private:
        // The row number lies inside the matrix and its Meta is usable.
        bool valid() const;
        int32_t cellSize() const;

        Matrix* m_matrix = nullptr;
        int32_t m_index = 0; // bit 31: read-only
    };

    Matrix();
    Matrix(int32_t rows, int32_t cols, const Meta* metas);
    Matrix(int32_t cols, const Meta& meta);
    explicit Matrix(const Rows& rows);
    ~Matrix();
    // A matrix owns raw cell buffers: copies go through assign.
    Matrix(const Matrix&) = delete;
    Matrix& operator=(const Matrix&) = delete;

    bool create(int32_t count, const Meta* metas);
    bool create(const Meta& meta);
    bool create(const Rows& rows);
    bool setMeta(int32_t row, const Meta& meta);
    bool reserve(int32_t capacity);
    bool resize(int32_t cols);
    bool clearData() { return resize(0); }
    void clear();

    int32_t rows() const { return m_rows; }
    int32_t cols() const { return m_cols; }
    int32_t caps() const { return m_caps; }
    const Meta* metas() const { return m_metas; }
    Meta meta(int32_t row) const { return m_metas[row]; }
    int32_t count(int32_t row) const { return m_metas[row].count; }
    Cell** data() const { return m_cells; }
    uint8_t* at(int32_t row, int32_t col) const { return m_cells[row][col].at(0); }
    Cell& cell(int32_t row, int32_t col) { return m_cells[row][col]; }
    bool hasRow(int32_t row) const;
    bool isNil() const;
    int32_t state() const;

    bool assign(const Rows& rows);
    bool assign(const Matrix& other);
    bool convert(const Rows& rows);
    bool convert(const Matrix& other);

    int32_t write(QDataStream& stream) const;
    int32_t read(QDataStream& stream);

private:
    int32_t m_rows = 0;
    int32_t m_cols = 0;
    Meta* m_metas = nullptr;
    Cell** m_cells = nullptr;
    int32_t m_caps = 0;
};

class Rows : public QList<Matrix::Row> {
public:
    using QList<Matrix::Row>::QList;
    Rows() = default;
    explicit Rows(const Matrix& matrix); // read-only references
    explicit Rows(Matrix& matrix);       // writable references
};

QDebug operator<<(QDebug dbg, const Matrix::Row& row);
QDebug operator<<(QDebug dbg, const Matrix& matrix);

} // namespace Nb

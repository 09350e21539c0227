#pragma once
// Random rows, the salted key stream over the cells of several rows, row
// joining and splitting, and MD5 digests of row cells. Cells are treated as
// plain bytes: Meta::size bytes each.

#include <cstdint>

#include "bc/Md5.h"
#include "qtnb/Matrix.h"

namespace Bc {

// Overwrites every cell of every column with fresh random bytes: one random
// identifier per 16-byte piece. A row without columns is left alone; false
// for a null or read-only row or one whose cells are missing.
bool fillRandom(const Nb::Matrix::Row& row);
// fillRandom on each row in list order; stops at the first that fails.
bool fillRandomRows(const Nb::Rows& rows);

// Output cell j = MD5(cell j of every input row in list order, then the salt
// row's first cell), repeated with a period of 16 bytes over the output cell
// and XORed with the mask row's first cell when a mask row is given. The same
// salt and mask serve every column. False, with nothing written, when an
// input row has fewer columns than the output, the mask cell is shorter than
// the output cell, a given mask or salt row has no cell, or a row is unusable.
bool keyStream(const Nb::Rows& in, const Nb::Matrix::Row& out,
               const Nb::Matrix::Row& mask = Nb::Matrix::Row(),
               const Nb::Matrix::Row& salt = Nb::Matrix::Row());

// out becomes the column-by-column join of the input rows (mode 0).
bool joinRows(const Nb::Rows& in, const Nb::Matrix::Row& out);
// The inverse: the row's cells are split in mode 0 across the output rows.
bool splitRow(const Nb::Matrix::Row& row, Nb::Rows& out);

// Digest of the row's first cell, cut to its first `bits` bits; false (and a
// null digest) for a row without a readable first cell.
bool digestRow(const Nb::Matrix::Row& row, uint32_t bits, Md5Digest& out);
// Cell j of the 32-bit integer row out gets 0 when the digest of cell j of
// row, cut to `bits` bits, equals the reference, else row's Meta count.
// False, with nothing written, when out cannot hold one int32 per column.
bool checkDigests(const Nb::Matrix::Row& row, const Nb::Matrix::Row& out, uint32_t bits,
                  const Md5Digest& reference);

} // namespace Bc

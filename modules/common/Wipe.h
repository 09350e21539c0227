#pragma once
// Overwriting what described a person before the memory goes back.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "qtnb/Matrix.h"

namespace Common {

// Zeroes memory in a way the compiler may not drop.
inline void wipe(void* p, size_t n)
{
    if (!p || n == 0)
        return;
    // Called through a volatile pointer, the store cannot be proved dead.
    static void* (*const volatile zero)(void*, int, size_t) = std::memset;
    zero(p, 0, n);
}

// Wipes every cell a matrix holds, then deletes it.
inline void destroy(Nb::Matrix* m)
{
    if (m && m->data()) {
        for (int32_t r = 0; r < m->rows(); ++r) {
            if (!m->data()[r])
                continue;
            const size_t size = size_t(m->meta(r).size());
            for (int32_t c = 0; c < m->cols(); ++c)
                if (!m->data()[r][c].isNull())
                    wipe(m->at(r, c), size);
        }
    }
    delete m;
}

} // namespace Common

#pragma once
// Overwriting what described a person before the memory goes back.

#include <cstddef>
#include <cstdint>
#include <cstring>

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

} // namespace Common

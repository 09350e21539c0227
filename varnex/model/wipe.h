#pragma once
// Overwrites secret bytes (store keys) before their memory is given back.
// Volatile stores, so that the compiler cannot drop them as dead.

#include <QByteArray>

#include <cstddef>

inline void wipe(void* data, std::size_t size)
{
    volatile unsigned char* p = static_cast<unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i)
        p[i] = 0;
}

// A copy shared with another owner is detached first and left to that owner.
inline void wipe(QByteArray& bytes)
{
    if (!bytes.isEmpty())
        wipe(bytes.data(), std::size_t(bytes.size()));
    bytes.clear();
}

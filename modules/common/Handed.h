#pragma once
// The buffers one module object has handed out and not yet taken back. Each
// goes back only through the object that made it, and only once; what is
// left when the object dies is freed with it. Free wipes as it frees, as
// destroy does for the matrices a processor hands out.

#include <cstdint>
#include <mutex>
#include <unordered_set>

#include <QDebug>

#include "nbi/nbModule.h"
#include "qtnb/Matrix.h"
#include "qtnb/Wipe.h"

namespace Common {

template <class T, void (*Free)(T*)>
class Handed {
public:
    Handed() = default;
    Handed(const Handed&) = delete;
    Handed& operator=(const Handed&) = delete;
    ~Handed()
    {
        for (T* p : m_set)
            Free(p);
    }

    // p, now handed out.
    T* add(T* p)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_set.insert(p);
        return p;
    }
    bool holds(T* p)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_set.count(p) > 0;
    }
    // A caller giving p back: freed when it was handed out here, else
    // refused, since it is not ours or was freed before. A null is nothing.
    uint32_t giveBack(T* p, uint32_t refused, const char* owner)
    {
        if (!p)
            return nbS_OK;
        if (!take(p)) {
            qDebug() << owner << "buffer" << static_cast<const void*>(p)
                     << "was not handed out here or is already freed";
            return refused;
        }
        Free(p);
        return nbS_OK;
    }

private:
    bool take(T* p)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_set.erase(p) > 0;
    }

    std::mutex m_mutex;
    std::unordered_set<T*> m_set;
};

// Wipes every cell a matrix holds, then deletes it.
inline void destroy(Nb::Matrix* m)
{
    if (m)
        Nb::wipe(*m);
    delete m;
}

} // namespace Common

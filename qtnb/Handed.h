#pragma once
// The buffers an owner has handed out across a library's boundary and not
// yet taken back. Each goes back only through the owner that made it, and
// only once; what is left when the registry goes is freed with it. Free
// wipes what it frees, and knows the size from the buffer itself.

#include <mutex>
#include <unordered_set>

namespace Nb {

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
    // p freed when it was handed out here; false, and nothing freed, for a
    // null, a buffer that is not ours or one freed before.
    bool giveBack(T* p)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (!p || m_set.erase(p) == 0)
                return false;
        }
        Free(p);
        return true;
    }

private:
    std::mutex m_mutex;
    std::unordered_set<T*> m_set;
};

} // namespace Nb

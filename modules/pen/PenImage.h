#pragma once
// Handwriting images as they cross the module interface: one buffer of the
// image layout (int32 length n, the 16-byte image type, n bytes of stroke
// data). Every buffer the module hands out is registered with its owner and
// goes back only through it, wiped.

#include <cstdint>
#include <mutex>
#include <unordered_set>

#include "modules/pen/PenStrokes.h"
#include "qtnb/Uuid.h"

namespace Pen {

constexpr size_t ImageHead = 4 + 16;

// A new buffer holding the sample under the given type; null when the
// sample does not write or memory runs out.
uint8_t* makeImage(const Sample& sample, const Nb::Uuid& type);
// The sample of a handwriting image; false for a null buffer, another image
// type, a length that is negative or not that of one stroke record.
bool readImage(const uint8_t* image, Sample& out);
// Wipes all n + 20 bytes, then frees.
void freeImage(uint8_t* image);

// What one object has handed out and not yet taken back.
template <class T>
class Handed {
public:
    void add(T* p)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_set.insert(p);
    }
    // True when p was handed out; it is no longer then.
    bool take(T* p)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_set.erase(p) > 0;
    }
    bool holds(T* p)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_set.count(p) > 0;
    }
    std::unordered_set<T*> takeAll()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::unordered_set<T*> all;
        all.swap(m_set);
        return all;
    }

private:
    std::mutex m_mutex;
    std::unordered_set<T*> m_set;
};

} // namespace Pen

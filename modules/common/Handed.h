#pragma once
// The buffers one module object has handed out and not yet taken back, with
// the module interface's answer to a caller giving one back; and the free
// of the matrices a processor hands out.

#include <cstdint>

#include <QDebug>

#include "nbi/nbModule.h"
#include "qtnb/Handed.h"
#include "qtnb/Matrix.h"
#include "qtnb/Wipe.h"

namespace Common {

template <class T, void (*Free)(T*)>
class Handed : public Nb::Handed<T, Free> {
public:
    using Nb::Handed<T, Free>::giveBack;

    // A caller giving p back: freed when it was handed out here, else
    // refused, since it is not ours or was freed before. A null is nothing.
    uint32_t giveBack(T* p, uint32_t refused, const char* owner)
    {
        if (!p)
            return nbS_OK;
        if (!giveBack(p)) {
            qDebug() << owner << "buffer" << static_cast<const void*>(p)
                     << "was not handed out here or is already freed";
            return refused;
        }
        return nbS_OK;
    }
};

// Wipes every cell a matrix holds, then deletes it.
inline void destroy(Nb::Matrix* m)
{
    if (m)
        Nb::wipe(*m);
    delete m;
}

} // namespace Common

#pragma once
// What every module object shares: the reference count that deletes it with
// the last release, the interface query, and the entry point's making of a
// fresh object with one reference.

#include <atomic>
#include <cstdint>
#include <new>

#include "nbi/nbModule.h"

namespace Common {

// I is the module interface the object implements, Iid its id.
template <class I, const Nb::Uuid& Iid>
class Component : public I {
public:
    using Interface = I;

    // The ids an object answers to: its interface and nbIUnknown.
    static bool answers(const Nb::Uuid& iid) { return iid == IID_nbIUnknown || iid == Iid; }

    uint32_t queryInterface(const Nb::Uuid* iid, void** out) override
    {
        if (!iid || !out)
            return nbE_POINTER;
        if (!answers(*iid))
            return nbE_NO_INTERFACE;
        *out = static_cast<Interface*>(this);
        addRef();
        return nbS_OK;
    }

    uint32_t addRef() override { return uint32_t(++m_refs); }

    uint32_t release() override
    {
        const int32_t left = --m_refs;
        if (left == 0)
            delete this;
        return uint32_t(left < 0 ? 0 : left);
    }

protected:
    Component() = default;
    Component(const Component&) = delete;
    Component& operator=(const Component&) = delete;
    // Only the last release deletes.
    virtual ~Component() = default;

private:
    std::atomic<int32_t> m_refs{1};
};

// The entry point's answer for one class: a fresh Object with one reference,
// asked for through its interface or nbIUnknown.
template <class Object>
uint32_t create(const Nb::Uuid& iid, void** out)
{
    if (!Object::answers(iid))
        return nbE_NO_INTERFACE;
    Object* object = new (std::nothrow) Object();
    if (!object)
        return nbE_OUT_OF_MEMORY;
    *out = static_cast<typename Object::Interface*>(object);
    return nbS_OK;
}

} // namespace Common

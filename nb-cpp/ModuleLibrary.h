#pragma once
// What the module clients share when they bind a module: the library
// loaded and asked for one component, and the component handed back.

#include <QString>

#include "qtnb/Uuid.h"

// The object that the library at path makes for the class and interface.
// Throws Exception with noLibrary when the library does not load, noObject
// when it makes no object, and noEntry (noObject when null) when it has no
// NbQueryComponent. The library stays loaded: the object lives in it.
void* queryComponent(const QString& path, const Nb::Uuid& classId, const Nb::Uuid& iid, const char* noLibrary,
                     const char* noObject, const char* noEntry = nullptr);

// The client's interface released, if it holds one; the client is unbound.
template <typename Interface>
void releaseInterface(Interface*& interface, bool& loaded)
{
    if (interface)
        interface->release();
    interface = nullptr;
    loaded = false;
}

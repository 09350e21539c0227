#include "nb-cpp/ModuleLibrary.h"

#include <QLibrary>

#include "nb-cpp/Exception.h"
#include "nbi/nbModule.h"

void* queryComponent(const QString& path, const Nb::Uuid& classId, const Nb::Uuid& iid, const char* noLibrary,
                     const char* noObject, const char* noEntry)
{
    QLibrary library(path);
    if (!library.load())
        throw Exception(noLibrary);
    auto query = reinterpret_cast<NbQueryComponentFn>(library.resolve("NbQueryComponent"));
    if (!query)
        throw Exception(noEntry ? noEntry : noObject);
    void* out = nullptr;
    if (query(&classId, &iid, &out) != nbS_OK || !out)
        throw Exception(noObject);
    return out;
}

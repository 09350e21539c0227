#pragma once
// What the input modules' tests share: a built module loaded by its path,
// objects made through its entry point, an event sink that records codes,
// and a modules folder as an installation holds it.

#include <QFile>
#include <QFileInfo>
#include <QLibrary>
#include <QList>
#include <QStringList>
#include <QTemporaryDir>
#include <QtDebug>

#include "nbi/nbModule.h"

namespace modrig {

// The entry point of the module built at path; the library stays loaded.
inline NbQueryComponentFn entryPoint(const char* path)
{
    QLibrary lib(QString::fromUtf8(path));
    if (!lib.load()) {
        qWarning() << lib.errorString();
        return nullptr;
    }
    return reinterpret_cast<NbQueryComponentFn>(lib.resolve("NbQueryComponent"));
}

template <class T>
T* make(NbQueryComponentFn query, const Nb::Uuid& classId, const Nb::Uuid& iid)
{
    void* out = nullptr;
    return query && query(&classId, &iid, &out) == nbS_OK ? static_cast<T*>(out) : nullptr;
}

struct Events : nbIEventHandler {
    virtual ~Events() = default;
    uint32_t queryInterface(const Nb::Uuid*, void** out) override
    {
        *out = this;
        return 0;
    }
    uint32_t addRef() override { return 1; }
    uint32_t release() override { return 0; }
    uint32_t onEvent(uint32_t code) override
    {
        codes << code;
        return 0;
    }
    int count(uint32_t code) const { return int(codes.count(code)); }
    QList<uint32_t> codes;
};

// The built modules copied into dir under their own names, as an
// installation holds them, and found there by the runtime's dispatcher.
template <class Dispatcher>
bool install(Dispatcher& dispatcher, const QTemporaryDir& dir, const QStringList& modules)
{
    const QString folder = dir.path() + QLatin1Char('/');
    for (const QString& module : modules)
        if (!QFile::copy(module, folder + QFileInfo(module).fileName()))
            return false;
    return dispatcher.scan(folder);
}

} // namespace modrig

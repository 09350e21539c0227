#include "nb-cpp/Dispatcher.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QLibrary>

#include "nb-cpp/Processor.h"
#include "nb-cpp/Provider.h"
#include "nb-cpp/Ulvar.h"
#include "nbi/nbModule.h"

namespace {

// The platform's shared-library files.
#if defined(Q_OS_WIN)
const char* const ModuleFilter = "*.dll";
#elif defined(Q_OS_MACOS)
const char* const ModuleFilter = "*.dylib";
#else
const char* const ModuleFilter = "*.so";
#endif

} // namespace

Dispatcher::Dispatcher()
{
    for (const ModuleInfo& row : TechnologyTable)
        m_wanted.append(row);
}

Dispatcher::~Dispatcher() = default;

QString Dispatcher::modulesPath()
{
    return QCoreApplication::applicationDirPath() + QDir::separator() + QStringLiteral("modules") + QDir::separator();
}

bool Dispatcher::scan(const QString& path)
{
    const QDir dir(path);
    const QStringList names =
        dir.entryList(QStringList{QString::fromLatin1(ModuleFilter)}, QDir::Files, QDir::NoSort);
    for (const QString& name : names)
        probe(path + name);
    return true;
}

bool Dispatcher::probe(const QString& path)
{
    // Never unloaded: the clients bind the library again by its path.
    QLibrary library(path);
    if (!library.load())
        return false;
    auto query = reinterpret_cast<NbQueryComponentFn>(library.resolve("NbQueryComponent"));
    if (!query)
        return false;
    bool found = false;
    for (const ModuleInfo& wanted : m_wanted) {
        ModuleInfo row = wanted;
        row.path = path;
        void* out = nullptr;
        if (query(&row.classId, &row.interfaceId, &out) != nbS_OK)
            continue;
        // Only the answer counts; the object made for it goes back.
        if (out)
            static_cast<nbIUnknown*>(out)->release();
        m_found.append(row);
        found = true;
    }
    return found;
}

bool Dispatcher::getProvider(const Nb::Uuid& technology, Provider* provider, ModuleInfo* info)
{
    for (const ModuleInfo& module : m_found) {
        if (module.technologyId != technology || module.interfaceId != IID_nbIProvider)
            continue;
        if (provider) {
            try {
                provider->load(module.path, module.classId, module);
                provider->attachDevice(0);
            } catch (...) {
                qDebug() << "device not attached";
                // The candidate goes before the next one is tried.
                try {
                    provider->unload();
                } catch (...) {
                }
                continue;
            }
        }
        if (info)
            *info = module;
        return true;
    }
    return false;
}

bool Dispatcher::getProcessor(const Nb::Uuid& technology, Processor* processor, ModuleInfo* info)
{
    for (const ModuleInfo& module : m_found) {
        if (module.technologyId != technology || module.interfaceId != IID_nbIProcessor)
            continue;
        if (processor)
            processor->load(module.path, module.classId, module);
        if (info)
            *info = module;
        return true;
    }
    return false;
}

bool Dispatcher::getUlvar(Ulvar* ulvar, ModuleInfo* info)
{
    for (const ModuleInfo& module : m_found) {
        if (module.interfaceId != IID_nbIUlvar)
            continue;
        if (ulvar)
            ulvar->load(module.path, module.classId, module);
        if (info)
            *info = module;
        return true;
    }
    return false;
}

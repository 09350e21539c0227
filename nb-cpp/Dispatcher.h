#pragma once
// Finds the modules in a directory once, by probing every library against
// every row of the technology table, and later binds a provider, a
// processor or the engine client to the first module found for a
// technology and role.

#include <QList>
#include <QString>

#include "nb-cpp/ModuleInfo.h"

class Processor;
class Provider;
class Ulvar;

class Dispatcher {
public:
    Dispatcher();
    ~Dispatcher();

    // path ends in a separator. Libraries stay loaded; the objects made
    // while probing go back at once.
    bool scan(const QString& path);
    bool probe(const QString& path);

    // A null client only looks the module up. getProvider moves on to the
    // next candidate when binding one throws, after letting that one go;
    // the other two let the client's Exception through.
    bool getProvider(const Nb::Uuid& technology, Provider* provider, ModuleInfo* info);
    bool getProcessor(const Nb::Uuid& technology, Processor* processor, ModuleInfo* info);
    bool getUlvar(Ulvar* ulvar, ModuleInfo* info);

    const QList<ModuleInfo>& found() const { return m_found; }

    // The modules folder beside the application, ending in a separator.
    static QString modulesPath();

private:
    QList<ModuleInfo> m_found;
    QList<ModuleInfo> m_wanted;
};

#pragma once
// The client of one processor module: templates, conversion of captured
// images into parameter matrices, and the module's foreign parameter
// vectors. Matrices the module returns are copied and handed back at once.
// Failures are thrown as Exception, except where a call only returns false.

#include <QString>

#include "nb-cpp/ModuleInfo.h"
#include "qtnb/Matrix.h"

class BimBase;
class nbIProcessor;

class Processor {
public:
    Processor();
    ~Processor();
    Processor(const Processor&) = delete;
    Processor& operator=(const Processor&) = delete;

    bool load(const QString& path, Nb::Uuid classId, const ModuleInfo& info);
    bool setTemplate(const Nb::Matrix* templ);
    bool convert(Nb::Matrix* params, BimBase* images);
    bool getTemplate(Nb::Matrix* out, BimBase* images);
    bool getAlienParams(Nb::Matrix* out);
    bool unload();
    bool setInterface(nbIProcessor* module, Nb::Uuid classId);
    bool isLoaded() const { return m_loaded; }
    Nb::Uuid classId() const { return m_classId; }
    const ModuleInfo& module() const { return m_module; }

private:
    nbIProcessor* m_interface = nullptr;
    bool m_loaded = false;
    Nb::Uuid m_classId;
    ModuleInfo m_module;
};

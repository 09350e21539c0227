#pragma once
// The technology table: every kind of module the runtime can bind, each by
// the component class asked of the module, the interface that tells its
// role and the biometric technology it serves. A found module is the same
// record with its library path filled in.

#include <QString>

#include "qtnb/Uuid.h"

struct ModuleInfo {
    QString name;
    QString vendor;
    QString path;
    Nb::Uuid classId;
    Nb::Uuid interfaceId;
    Nb::Uuid technologyId;
};

// The seven rows in probe order: handwriting provider and processor (two
// classes of each), fingerprint provider and processor, the engine.
constexpr int TechnologyRows = 7;
extern const ModuleInfo TechnologyTable[TechnologyRows];

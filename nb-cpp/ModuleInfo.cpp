#include "nb-cpp/ModuleInfo.h"

#include "nbi/nbModule.h"

namespace {

ModuleInfo row(const char* name, const Nb::Uuid& classId, const Nb::Uuid& interfaceId, const Nb::Uuid& technology)
{
    return ModuleInfo{QString::fromUtf8(name), QStringLiteral("КЕРВ"), QString(), classId, interfaceId, technology};
}

const char* const Handwriting = "Рукописный образ";
const char* const Fingerprint = "Отпечаток пальца";

} // namespace

// Built after the identifiers of nbModule.h, which this unit defines first.
const ModuleInfo TechnologyTable[TechnologyRows] = {
    row(Handwriting, CLSID_HandwritingProvider, IID_nbIProvider, TECH_Handwriting),
    row(Handwriting, CLSID_HandwritingProcessor, IID_nbIProcessor, TECH_Handwriting),
    row(Handwriting, CLSID_HandwritingProvider2, IID_nbIProvider, TECH_Handwriting),
    row(Handwriting, CLSID_HandwritingProcessor2, IID_nbIProcessor, TECH_Handwriting),
    row(Fingerprint, CLSID_FingerprintProvider, IID_nbIProvider, TECH_Fingerprint),
    row(Fingerprint, CLSID_FingerprintProcessor, IID_nbIProcessor, TECH_Fingerprint),
    // The engine serves every technology: its row names its interface twice.
    row("Преобразователь биометрия-код", CLSID_Ulvar, IID_nbIUlvar, IID_nbIUlvar),
};

// The module's one entry point: the fingerprint reader and the fingerprint
// processor of the technology table, each a fresh object with one reference.

#include "modules/finger/FingerProcessor.h"
#include "modules/finger/FingerProvider.h"
#include "nbi/nbModule.h"

extern "C" NB_MODULE_EXPORT uint32_t NbQueryComponent(const Nb::Uuid* classId, const Nb::Uuid* iid, void** out)
{
    if (!classId || !iid || !out)
        return nbE_POINTER;
    if (*classId == CLSID_FingerprintProvider) {
        if (*iid != IID_nbIUnknown && *iid != IID_nbIProvider)
            return nbE_NO_INTERFACE;
        *out = static_cast<nbIProvider*>(new Finger::FingerProvider());
        return nbS_OK;
    }
    if (*classId == CLSID_FingerprintProcessor) {
        if (*iid != IID_nbIUnknown && *iid != IID_nbIProcessor)
            return nbE_NO_INTERFACE;
        *out = static_cast<nbIProcessor*>(new Finger::FingerProcessor());
        return nbS_OK;
    }
    return nbE_NO_COMPONENT;
}

// The module's one entry point: the fingerprint reader and the fingerprint
// processor of the technology table, each a fresh object with one reference.

#include "modules/finger/FingerProcessor.h"
#include "modules/finger/FingerProvider.h"
#include "nbi/nbModule.h"

extern "C" NB_MODULE_EXPORT uint32_t NbQueryComponent(const Nb::Uuid* classId, const Nb::Uuid* iid, void** out)
{
    if (!classId || !iid || !out)
        return nbE_POINTER;
    if (*classId == CLSID_FingerprintProvider)
        return Common::create<Finger::FingerProvider>(*iid, out);
    if (*classId == CLSID_FingerprintProcessor)
        return Common::create<Finger::FingerProcessor>(*iid, out);
    return nbE_NO_COMPONENT;
}

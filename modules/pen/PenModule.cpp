// The module's one entry point: a fresh handwriting provider or processor
// for rows 1 and 2 of the technology table.

#include <new>

#include "modules/pen/PenProcessor.h"
#include "modules/pen/PenProvider.h"
#include "nbi/nbModule.h"

extern "C" NB_MODULE_EXPORT uint32_t NbQueryComponent(const Nb::Uuid* classId, const Nb::Uuid* iid, void** out)
{
    if (!classId || !iid || !out)
        return nbE_POINTER;
    const bool unknown = *iid == IID_nbIUnknown;
    if (*classId == CLSID_HandwritingProvider) {
        if (!unknown && *iid != IID_nbIProvider)
            return nbE_NO_INTERFACE;
        Pen::Provider* p = new (std::nothrow) Pen::Provider();
        if (!p)
            return nbE_OUT_OF_MEMORY;
        *out = static_cast<nbIProvider*>(p);
        return nbS_OK;
    }
    if (*classId == CLSID_HandwritingProcessor) {
        if (!unknown && *iid != IID_nbIProcessor)
            return nbE_NO_INTERFACE;
        Pen::Processor* p = new (std::nothrow) Pen::Processor();
        if (!p)
            return nbE_OUT_OF_MEMORY;
        *out = static_cast<nbIProcessor*>(p);
        return nbS_OK;
    }
    return nbE_NO_COMPONENT;
}

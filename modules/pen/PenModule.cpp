// The module's one entry point: a fresh handwriting provider or processor
// for rows 1 and 2 of the technology table.

#include "modules/pen/PenProcessor.h"
#include "modules/pen/PenProvider.h"
#include "nbi/nbModule.h"

extern "C" NB_MODULE_EXPORT uint32_t NbQueryComponent(const Nb::Uuid* classId, const Nb::Uuid* iid, void** out)
{
    if (!classId || !iid || !out)
        return nbE_POINTER;
    if (*classId == CLSID_HandwritingProvider)
        return Common::create<Pen::Provider>(*iid, out);
    if (*classId == CLSID_HandwritingProcessor)
        return Common::create<Pen::Processor>(*iid, out);
    return nbE_NO_COMPONENT;
}

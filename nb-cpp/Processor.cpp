#include "nb-cpp/Processor.h"

#include "nb-cpp/BimBase.h"
#include "nb-cpp/Exception.h"
#include "nb-cpp/ModuleLibrary.h"
#include "nbi/nbModule.h"

namespace {

// The module's matrix copied into out: its rows with their Metas, its
// columns, its cells. A matrix that is not laid out as it claims is refused
// before out changes.
bool copyModuleMatrix(const Nb::Matrix* from, Nb::Matrix* out)
{
    if (!from || !out || from->rows() < 1 || !from->metas() || from->cols() < 0)
        return false;
    for (int32_t r = 0; r < from->rows(); ++r)
        if (from->cols() > 0 && !from->hasRow(r))
            return false;
    return out->create(from->rows(), from->metas()) && out->resize(from->cols()) && out->assign(*from);
}

} // namespace

Processor::Processor() = default;

Processor::~Processor()
{
    unload();
}

bool Processor::load(const QString& path, Nb::Uuid classId, const ModuleInfo& info)
{
    unload();
    m_interface = static_cast<nbIProcessor*>(
        queryComponent(path, classId, IID_nbIProcessor, "Невозможно загрузить библиотеку биометрического процессора",
                       "Невозможно загрузить интерфейс библиотеки биометрического процессора"));
    m_loaded = true;
    m_classId = classId;
    m_module = info;
    return true;
}

bool Processor::setTemplate(const Nb::Matrix* templ)
{
    if (!m_loaded)
        return false;
    const Nb::Uuid type = m_module.technologyId;
    const uint32_t rc = m_interface->setTemplate(templ, &type);
    if (rc != nbS_OK && rc != nbS_TEMPLATE_KEPT)
        throw Exception("Невозможно загрузить шаблон биометрического образа");
    return true;
}

bool Processor::convert(Nb::Matrix* params, BimBase* images)
{
    if (!m_loaded || !params || !images || images->count() == 0)
        return false;
    Nb::Matrix* result = nullptr;
    Nb::Matrix* extra = nullptr;
    if (m_interface->convert(&result, images->data(), uint32_t(images->count()), &extra) != nbS_OK)
        throw Exception("Невозможно выполнить преобразование биометрических образов в параметры");
    const bool copied = copyModuleMatrix(result, params);
    m_interface->freeBuffer(result);
    m_interface->freeBuffer(extra);
    if (!copied)
        throw Exception("Невозможно выполнить преобразование биометрических образов в параметры");
    return true;
}

bool Processor::getTemplate(Nb::Matrix* out, BimBase* images)
{
    if (!m_loaded || !out)
        return false;
    Nb::Matrix* first = nullptr;
    Nb::Matrix* templ = nullptr;
    const int count = images ? images->count() : 0;
    if (m_interface->getTemplate(&first, &templ, count > 0 ? images->data() : nullptr, uint32_t(count)) != nbS_OK)
        throw Exception("Невозможно получить шаблон биометрического образа");
    m_interface->freeBuffer(first);
    if (!templ)
        return false;
    const bool copied = copyModuleMatrix(templ, out);
    m_interface->freeBuffer(templ);
    if (!copied)
        throw Exception("Невозможно получить шаблон биометрического образа");
    return true;
}

bool Processor::getAlienParams(Nb::Matrix* out)
{
    if (!m_loaded || !out)
        return false;
    Nb::Matrix* result = nullptr;
    const Nb::Uuid type = m_module.technologyId;
    if (m_interface->getAlienParams(&result, -1, &type, 0) != nbS_OK)
        return false;
    const bool copied = copyModuleMatrix(result, out);
    m_interface->freeBuffer(result);
    return copied;
}

bool Processor::unload()
{
    releaseInterface(m_interface, m_loaded);
    return true;
}

bool Processor::setInterface(nbIProcessor* module, Nb::Uuid classId)
{
    unload();
    m_interface = module;
    m_classId = classId;
    m_loaded = module != nullptr;
    return true;
}

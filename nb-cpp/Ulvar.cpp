#include "nb-cpp/Ulvar.h"

#include <memory>

#include <QDebug>

#include "nb-cpp/Exception.h"
#include "nb-cpp/ModuleLibrary.h"
#include "nb-cpp/Nbc.h"
#include "nbi/nbModule.h"
#include "qtnb/Data.h"
#include "qtnb/Scheme.h"
#include "qtnb/SlotId.h"

namespace {

// Every part of the engine's scheme: trained state, scheme, all rows.
const Nb::SchemeParts EveryPart = Nb::SchemeParts(0x3F);
// Post-training protects a converter: its own flags with this bit.
constexpr uint16_t ProtectFlag = 0x2;
// A trained container is never near this size; a larger claim is refused
// before anything is allocated for it.
constexpr int32_t MaxParamsBytes = 256 * 1024 * 1024;

[[noreturn]] void fail(const char* text) { throw Exception(text); }

bool poorData(uint32_t rc)
{
    const uint32_t n = rc & 0xFFFFu;
    return n == Nb::EcNoDataOwn || (n >= Nb::EcPoorDivirgence && n <= Nb::EcTooManyGrossErrors);
}

const char* bytesOf(const Nb::Data& data) { return reinterpret_cast<const char*>(data.data()); }

} // namespace

TrainResult::TrainResult() : m_figures{0, 0, 0, 0, 0} {}

void TrainResult::assign(Nb::TestResult results)
{
    m_figures[0] = results.e1;
    m_figures[1] = results.e2;
    m_figures[2] = results.e2Code;
}

Ulvar::Ulvar() = default;

Ulvar::~Ulvar()
{
    unload();
}

bool Ulvar::load(const QString& path, Nb::Uuid classId, const ModuleInfo& info)
{
    unload();
    m_interface = static_cast<nbIUlvar*>(
        queryComponent(path, classId, IID_nbIUlvar, "Невозможно загрузить библиотеку биометрического преобразователя",
                       "Невозможно загрузить интерфейс библиотеки биометрического преобразователя",
                       "Невозможно загрузить интерфейс биометрического преобразователя"));
    m_loaded = true;
    m_classId = classId;
    m_module = info;
    return true;
}

bool Ulvar::train(Nbc& container, QList<Nb::Matrix*>& own, QList<Nb::Matrix*>& alien, Nb::Matrix* code,
                  TrainResult* result)
{
    if (!m_loaded)
        return false;
    Nb::Data bytes;
    Nb::Scheme scheme;
    if (!container.toData(bytes))
        fail("Ошибка установки контейнера");
    container.scheme(scheme);

    m_interface->clear(EveryPart);
    if (m_interface->setParams(bytesOf(bytes)) != nbS_OK)
        fail("Ошибка установки контейнера");

    const Nb::SlotIds inputs(scheme, Nb::StIn, 255);
    for (int32_t i = 0; i < inputs.size(); ++i) {
        const uint16_t id = inputs.at(i).value();
        if (i >= alien.size() || m_interface->setConstraint(id, Nb::CtAll, alien.at(i)) != nbS_OK)
            fail("Ошибка установки параметров \"Чужой\" при обучении");
        if (i >= own.size() || m_interface->setConstraint(id, Nb::CtOwn, own.at(i)) != nbS_OK)
            fail("Ошибка установки параметров \"Свой\" при обучении");
    }

    const uint32_t trained = m_interface->train(nullptr, nullptr, code, Nb::ToInfinite);
    if (trained != nbS_OK)
        fail(poorData(trained) ? "Плохие данные для обучения" : "Ошибка обучения");
    m_trained = true;

    Nb::Matrix figure(1, Nb::Meta(1, Nb::MfR32, Nb::MtC));
    float& value = *reinterpret_cast<float*>(figure.at(0, 0));
    value = 0;
    Nb::TestResult figures;
    if (m_interface->test(Nb::TmE1Bio, &figure, Nb::ToInfinite) != nbS_OK)
        fail("Ошибка автоматического тестирования");
    figures.e1 = value;
    if (m_interface->test(Nb::TmE2Bio, &figure, Nb::ToInfinite) != nbS_OK)
        fail("Ошибка автоматического тестирования");
    figures.e2 = value;

    // The trained container, with the size asked first.
    Nb::Data params(1);
    const uint32_t first = m_interface->getParams(reinterpret_cast<char*>(params.data()), nullptr);
    const int32_t needed = params.size();
    if ((first != nbS_OK && first != nbE_INSUFFICIENT_BUFFER) || needed <= 0 || needed > MaxParamsBytes)
        fail("Ошибка выгрузки контейнера (1)");
    params.clear();
    if (!params.resize(needed))
        fail("Ошибка выгрузки контейнера (1)");
    if (m_interface->getParams(reinterpret_cast<char*>(params.data()), nullptr) != nbS_OK)
        fail("Ошибка выгрузки контейнера (2)");
    // Bytes the engine claims beyond the buffer, or that hold no
    // container, leave the caller's container as it was.
    if (params.size() > params.capacity() || !container.fromData(params))
        fail("Ошибка выгрузки контейнера (2)");

    for (Nb::SlotId id : Nb::SlotIds(scheme, Nb::StConv, Nb::BtNeuralConv)) {
        const Nb::BlockFlags flags = Nb::BlockFlags(scheme.at(id)->flags() | ProtectFlag);
        if (m_interface->trainSlot(id.value(), Nb::TmDefault, Nb::BsTrained, flags, Nb::ToInfinite) != nbS_OK)
            fail("Ошибка постобучения (2)");
    }
    if (m_interface->test(Nb::TmE2Bio, &figure, Nb::ToInfinite) != nbS_OK)
        fail("Ошибка автоматического тестирования");
    figures.e2Code = value;
    if (result)
        result->assign(figures);
    return true;
}

bool Ulvar::extract(Nbc& container, Nb::Matrix& code, QList<Nb::Matrix*>& params)
{
    if (!m_loaded)
        return false;
    // The engine fills as many rows as the code has, with one output id.
    if (code.rows() != 1)
        fail("Ошибка извлечения кода");
    Nb::Data bytes;
    if (!container.toData(bytes))
        fail("Ошибка установки контейнера");
    m_interface->clear(EveryPart);
    const uint32_t rc = m_interface->setParams(bytesOf(bytes));
    if (rc != nbS_OK) {
        qDebug().nospace() << "errc=" << int32_t(rc);
        fail("Ошибка установки контейнера");
    }

    Nb::Scheme scheme;
    container.scheme(scheme);
    const Nb::SlotIds inputs(scheme, Nb::StIn, 255);
    for (int32_t i = 0; i < inputs.size(); ++i) {
        const Nb::SlotId id = inputs.at(i);
        const Nb::Matrix* sample = i < params.size() ? params.at(i) : nullptr;
        // An input without a sample (the alternative not taken) is one row
        // of its element layout with no columns: nothing to choose there.
        std::unique_ptr<Nb::Matrix> none;
        if (!sample || sample->rows() < 1) {
            none = std::make_unique<Nb::Matrix>(0, scheme.at(id)->meta());
            sample = none.get();
        }
        if (m_interface->setConstraint(id.value(), Nb::CtAny, sample) != nbS_OK)
            fail("Ошибка установки биометрических параметров");
    }
    const uint16_t result = 0;
    if (m_interface->emulate(nullptr, &code, &result) != nbS_OK)
        fail("Ошибка извлечения кода");
    return true;
}

bool Ulvar::unload()
{
    m_trained = false;
    releaseInterface(m_interface, m_loaded);
    return true;
}

bool Ulvar::setInterface(nbIUlvar* module, Nb::Uuid classId)
{
    unload();
    m_interface = module;
    m_classId = classId;
    m_loaded = module != nullptr;
    return true;
}

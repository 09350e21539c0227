#include "nb-cpp/Ulvar.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <vector>

#include <QDebug>

#include "nb-cpp/Exception.h"
#include "nb-cpp/InputSequence.h"
#include "nb-cpp/ModuleLibrary.h"
#include "nb-cpp/Nbc.h"
#include "nbi/nbModule.h"
#include "qtnb/Wipe.h"
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

// The engine learns a converter from at least this many own samples.
constexpr int32_t MinOwnSamples = 2;

using MatrixPtr = std::unique_ptr<Nb::Matrix>;

// The columns [first, last) of an input's samples are held out in a round.
struct Share {
    int32_t first;
    int32_t last;
    bool holds(int32_t col) const { return col >= first && col < last; }
};

Share shareOf(int32_t samples, int round, int rounds)
{
    return {int32_t(int64_t(samples) * round / rounds), int32_t(int64_t(samples) * (round + 1) / rounds)};
}

// The samples of m inside the share, or those outside it.
MatrixPtr samplesOf(const Nb::Matrix& m, Share share, bool inside)
{
    int32_t count = 0;
    for (int32_t c = 0; c < m.cols(); ++c)
        count += share.holds(c) == inside;
    auto out = std::make_unique<Nb::Matrix>(count, m.meta(0));
    const Nb::Matrix::Row from(&m, 0);
    const Nb::Matrix::Row to(out.get(), 0);
    for (int32_t c = 0, n = 0; c < m.cols(); ++c)
        if (share.holds(c) == inside && !to.copyCell(from, c, n++))
            return nullptr;
    return out;
}

// The inputs in the order an attempt walks them, one stage each: a single
// input, or a group of alternatives of which an attempt takes one.
QList<QList<int>> stagesOf(const Nbc& container)
{
    InputSequence walk;
    QList<QList<int>> stages;
    if (!walk.build(container) || walk.count() == 0)
        return stages;
    do {
        QList<int> stage;
        for (int i = 0; i < qMax(1, walk.groupSize()); ++i)
            stage << walk.step() + i;
        stages << stage;
    } while (walk.skipGroup());
    return stages;
}

// Every attempt of a round: for each input the held-out sample it takes, or
// -1 for an alternative not taken.
void addAttempts(const QList<QList<int>>& stages, const QList<Share>& shares, int stage, std::vector<int32_t>& attempt,
                 std::vector<std::vector<int32_t>>& attempts)
{
    if (stage == stages.size()) {
        attempts.push_back(attempt);
        return;
    }
    for (int input : stages.at(stage)) {
        for (int32_t c = shares.at(input).first; c < shares.at(input).last; ++c) {
            attempt[size_t(input)] = c;
            addAttempts(stages, shares, stage + 1, attempt, attempts);
        }
        attempt[size_t(input)] = -1;
    }
}

bool sameCode(const Nb::Matrix& got, const Nb::Matrix& code)
{
    if (got.rows() < 1 || got.cols() < 1 || got.data()[0][0].isNull() || !(got.meta(0) == code.meta(0)))
        return false;
    const Nb::Cell a(got.at(0, 0));
    const Nb::Cell b(code.at(0, 0));
    for (uint32_t i = 0; i < uint32_t(code.meta(0).count); ++i)
        if (a.bit(i) != b.bit(i))
            return false;
    return true;
}

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

float Ulvar::heldOutRejection(const Nbc& container, const QList<Nb::Matrix*>& own, QList<Nb::Matrix*>& alien,
                              Nb::Matrix* code)
{
    const float unknown = std::numeric_limits<float>::quiet_NaN();
    const QList<QList<int>> stages = stagesOf(container);
    if (!m_loaded || !code || code->rows() != 1 || code->cols() < 1 || stages.isEmpty())
        return unknown;
    int inputs = 0;
    int rounds = MaxHeldOutRounds;
    for (const QList<int>& stage : stages)
        inputs += stage.size();
    for (int i = 0; i < inputs; ++i) {
        const Nb::Matrix* samples = own.value(i);
        // One sample held out must leave enough to learn from.
        if (!samples || samples->rows() < 1 || samples->cols() < MinOwnSamples + 1)
            return unknown;
        rounds = qMin(rounds, samples->cols());
    }

    int64_t attempts = 0, failures = 0;
    for (int r = 0; r < rounds; ++r) {
        QList<Share> shares;
        std::vector<MatrixPtr> learn;
        QList<Nb::Matrix*> learnList;
        for (int i = 0; i < inputs; ++i) {
            shares << shareOf(own.at(i)->cols(), r, rounds);
            learn.push_back(samplesOf(*own.at(i), shares.last(), false));
            learnList << learn.back().get();
        }
        std::vector<int32_t> attempt(size_t(inputs), -1);
        std::vector<std::vector<int32_t>> round;
        addAttempts(stages, shares, 0, attempt, round);
        attempts += int64_t(round.size());

        Nbc trained(container);
        bool learnt = std::find(learnList.begin(), learnList.end(), nullptr) == learnList.end();
        try {
            learnt = learnt && train(trained, learnList, alien, code, nullptr);
        } catch (const Exception&) {
            // Samples the engine cannot learn from turn the owner away.
            learnt = false;
        }
        if (!learnt) {
            failures += int64_t(round.size());
            continue;
        }
        for (const std::vector<int32_t>& a : round) {
            std::vector<MatrixPtr> taken;
            QList<Nb::Matrix*> params;
            for (int i = 0; i < inputs; ++i) {
                const int32_t c = a[size_t(i)];
                taken.push_back(c < 0 ? std::make_unique<Nb::Matrix>() : samplesOf(*own.at(i), {c, c + 1}, true));
                params << taken.back().get();
            }
            Nb::Matrix got(1, code->meta(0));
            bool recognised = false;
            try {
                recognised = extract(trained, got, params) && sameCode(got, *code);
            } catch (const Exception&) {
                // Not recognised, as the extraction wizard would say.
            }
            // The code is the key: it does not outlive the comparison.
            Nb::wipe(got);
            failures += !recognised;
        }
    }
    return attempts ? float(double(failures) / double(attempts)) : unknown;
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

#include "bc/BcCondition.h"
#include "bc/BcConnector.h"
#include "bc/BcNeuralConverter.h"
#include "bc/BcParam.h"

#include <cstring>
#include <limits>
#include <memory>
#include <random>

#include <QtTest>

#include "DebugCapture.h"
#include "SlotTestKit.h"
#include "qtnb/Scheme.h"

using namespace Bc;
using namespace SlotTestKit;
using Row = Nb::Matrix::Row;

namespace {

constexpr int32_t Features = 32;
constexpr int32_t Bits = 24;
// Live samples lie well inside the spread the converter was trained on.
constexpr float Live = 0.01f;
const Nb::Meta SampleMeta(Features, Nb::MfR32, Nb::MtC);

using Factory = EngineFactory<Nb::BtNeuralConv, Nb::BtConnector, Nb::BtCondition>;

// Deterministic people: a mean vector each, samples scattered around it.
std::mt19937& gen()
{
    static std::mt19937 g(7);
    return g;
}
float unit() { return float(double(gen()()) / 4294967296.0); }

std::vector<float> person(int32_t features = Features)
{
    std::vector<float> mu(static_cast<size_t>(features));
    for (float& v : mu)
        v = 2.0f * unit() - 1.0f;
    return mu;
}

std::unique_ptr<Nb::Matrix> samples(const std::vector<float>& mu, int32_t count, float noise = 0.05f)
{
    auto m = std::make_unique<Nb::Matrix>(count, Nb::Meta(int32_t(mu.size()), Nb::MfR32, Nb::MtC));
    for (int32_t c = 0; c < count; ++c) {
        float* v = reinterpret_cast<float*>(m->at(0, c));
        for (size_t f = 0; f < mu.size(); ++f)
            v[f] = mu[f] + noise * (unit() + unit() + unit() + unit() - 2.0f);
    }
    return m;
}

std::unique_ptr<Nb::Matrix> aliens(int32_t count, int32_t features = Features)
{
    auto m = std::make_unique<Nb::Matrix>(count, Nb::Meta(features, Nb::MfR32, Nb::MtC));
    for (int32_t c = 0; c < count; ++c)
        std::memcpy(m->at(0, c), samples(person(features), 1)->at(0, 0), size_t(features) * sizeof(float));
    return m;
}

std::unique_ptr<Nb::Matrix> code(int32_t bits)
{
    auto m = std::make_unique<Nb::Matrix>(1, bitsMeta(bits));
    for (int32_t i = 0; i < bitsMeta(bits).size(); ++i)
        m->at(0, 0)[i] = uint8_t(gen()());
    return m;
}

// One parameter input feeding one converter.
struct Rig {
    explicit Rig(int32_t bits = Bits, Nb::BlockState state = Nb::BsUntrained, uint16_t flags = 0,
                 int32_t features = Features)
        : scheme(&factory), mu(person(features)), wanted(code(bits))
    {
        scheme.push(Nb::StIn, Nb::Meta(features, Nb::MfR32, Nb::MtC));
        scheme.push(Nb::Slot(Nb::SlotId::conv(Nb::BtNeuralConv, 1), bitsMeta(bits), Nb::SlotIds{scheme.slotId(0)},
                             Nb::BlockFlags(flags), state));
        scheme.setOut(1);
        input = dynamic_cast<BcParam*>(scheme.at(0));
        conv = dynamic_cast<BcNeuralConverter*>(scheme.at(1));
    }
    void feed(int32_t own = 12, int32_t alien = 8)
    {
        QVERIFY(input->set(Nb::CtOwn, Row(samples(mu, own).get(), 0)));
        QVERIFY(input->set(Nb::CtAll, Row(aliens(alien, int32_t(mu.size())).get(), 0)));
        QVERIFY(conv->set(Nb::CtOwn, Row(wanted.get(), 0)));
    }
    bool train(uint16_t flags = 0, Nb::TrainMode mode = Nb::TmDefault)
    {
        conv->clearConstraint(Nb::CtTst);
        return conv->train(mode, Nb::BsTrained, Nb::BlockFlags(flags));
    }
    // How many of the samples give the wanted code; -1 when emulation fails.
    int32_t decoded(const Nb::Matrix& x)
    {
        input->set(Nb::CtAny, Row(&x, 0));
        conv->clearConstraint(Nb::CtAny);
        if (!conv->emulate(Nb::CtAny, Nb::CtAny, true))
            return -1;
        const Row out = conv->constraint(Nb::CtAny);
        int32_t same = 0;
        for (int32_t j = 0; j < out.cols(); ++j)
            same += cell(out, j) == cell(Row(wanted.get(), 0)) ? 1 : 0;
        return same;
    }
    int32_t decodedLive(int32_t n) { return decoded(*samples(mu, n, Live)); }
    QByteArray params()
    {
        Nb::Container c;
        if (conv->writeParams(c, nullptr, nullptr) != 1)
            return QByteArray();
        return QByteArray(reinterpret_cast<const char*>(c.at(0)->data()), c.at(0)->size());
    }
    std::vector<float> weights(int32_t neuron) const { return conv->layer().neurons.at(size_t(neuron)).weights; }

    Factory factory;
    Nb::Scheme scheme;
    std::vector<float> mu;
    std::unique_ptr<Nb::Matrix> wanted;
    BcParam* input = nullptr;
    BcNeuralConverter* conv = nullptr;
};

// The scheme's training pass over its converter slots: a front slot that
// cannot train yet waits for the slots behind it.
bool trainPass(const BcSlots& chain)
{
    for (BcSlot* s : chain)
        s->reset();
    int32_t j = 0;
    int32_t i = int32_t(chain.size()) - 1;
    while (j <= i) {
        if (chain.at(j)->train(Nb::TmWithoutFlags, Nb::BsTrained, Nb::BlockFlags(0))) {
            ++j;
            continue;
        }
        if (j == i || !chain.at(i)->train(Nb::TmWithoutFlags, Nb::BsTrained, Nb::BlockFlags(0)))
            return false;
        --i;
    }
    return true;
}

} // namespace

class TestBcNeuralConverter : public QObject {
    Q_OBJECT
private slots:
    void validation_data();
    void validation();
    void sampleCounts_data();
    void sampleCounts();
    void refusedRequests();
    void trainsAndDecodes();
    void freeFlagsChangeWithoutTraining();
    void protectionFollowsFlag();
    void failedRetrainingLeavesUntrained();
    void layerThatDoesNotFitIsRefused();
    void parameterBlockRoundTrip_data();
    void parameterBlockRoundTrip();
    void hostileParameterBlocks();
    void smallSchemes_data();
    void smallSchemes();
};

void TestBcNeuralConverter::validation_data()
{
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("flags");
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("inputs");
    QTest::addColumn<int>("selectors");
    QTest::addColumn<int>("inputFormat");
    QTest::addColumn<int>("error");
    QTest::addColumn<int>("tag");
    const int i1 = int(Nb::MfI1);
    const int r32 = int(Nb::MfR32);
    QTest::newRow("24 bits") << 24 << i1 << 0 << 0 << 1 << 0 << r32 << 0 << 0;
    QTest::newRow("trained") << 24 << i1 << 0x2 << int(Nb::BsTrained) << 1 << 0 << r32 << 0 << 0;
    QTest::newRow("high byte") << 24 << i1 << 0x0300 << 0 << 1 << 0 << r32 << 0 << 0;
    for (int flag : {0x10, 0x20, 0x40, 0x80})
        QTest::addRow("flag 0x%x", flag) << 24 << i1 << flag << 0 << 1 << 0 << r32 << int(Nb::EcBlockFlag) << 1;
    QTest::newRow("partly trained") << 24 << i1 << 0 << int(Nb::BsPartially) << 1 << 0 << r32 << int(Nb::EcBlockState)
                                    << 2;
    QTest::newRow("two inputs") << 24 << i1 << 0 << 0 << 2 << 0 << r32 << int(Nb::EcCScheme) << 3;
    QTest::newRow("special input") << 24 << i1 << 0 << 0 << 1 << 1 << r32 << int(Nb::EcCScheme) << 3;
    QTest::newRow("unsigned bits") << 24 << int(Nb::MfU1) << 0 << 0 << 1 << 0 << r32 << int(Nb::EcMeta) << 4;
    QTest::newRow("20 bits") << 20 << i1 << 0 << 0 << 1 << 0 << r32 << int(Nb::EcMeta) << 5;
    QTest::newRow("MfR64 input") << 24 << i1 << 0 << 0 << 1 << 0 << int(Nb::MfR64) << int(Nb::EcMeta) << 6;
}

void TestBcNeuralConverter::validation()
{
    QFETCH(int, bits);
    QFETCH(int, format);
    QFETCH(int, flags);
    QFETCH(int, state);
    QFETCH(int, inputs);
    QFETCH(int, selectors);
    QFETCH(int, inputFormat);
    QFETCH(int, error);
    QFETCH(int, tag);
    Factory factory;
    Nb::Scheme s(&factory);
    const Nb::Meta sample(8, Nb::MetaFormat(inputFormat), Nb::MtC);
    Nb::SlotIds links;
    for (int k = 0; k < inputs + selectors; ++k) {
        if (k < inputs)
            s.push(Nb::StIn, sample);
        else
            s.push(Nb::StSpIn, Nb::Meta(1, Nb::MfI32, Nb::MtDO));
        links << s.slotId(k);
    }
    DebugCapture capture;
    s.push(Nb::Slot(Nb::SlotId::conv(Nb::BtNeuralConv, 1), Nb::Meta(bits, Nb::MetaFormat(format), Nb::MtDO), links,
                    Nb::BlockFlags(flags), Nb::BlockState(state)));
    BcSlot* conv = dynamic_cast<BcSlot*>(s.at(s.count() - 1));
    QVERIFY(conv);
    s.setStatus(Nb::ScOk);
    capture.clear();
    QCOMPARE(conv->validate(), error == 0);
    QCOMPARE(s.status(), error ? slotError(conv, Nb::ErrorCode(error)) : Nb::ScOk);
    if (error) {
        const QList<CapturedMessage> reports = capture.reports();
        QCOMPARE(reports.size(), 1);
        QCOMPARE(reports.first().text.section(' ', 1, 1), QString::number(tag));
        QVERIFY(reports.first().file.endsWith(QLatin1String("BcNeuralConverter.cpp")));
    }
}

void TestBcNeuralConverter::sampleCounts_data()
{
    QTest::addColumn<int>("own");
    QTest::addColumn<int>("alien");
    QTest::addColumn<int>("error");
    QTest::newRow("1 own") << 1 << 4 << int(Nb::EcNoDataOwn);
    QTest::newRow("2 own") << 2 << 4 << 0;
    QTest::newRow("64 own") << 64 << 4 << 0;
    QTest::newRow("65 own") << 65 << 4 << int(Nb::EcNoDataOwn);
    QTest::newRow("1 alien") << 8 << 1 << int(Nb::EcNoDataAll);
    QTest::newRow("2 aliens") << 8 << 2 << 0;
}

void TestBcNeuralConverter::sampleCounts()
{
    QFETCH(int, own);
    QFETCH(int, alien);
    QFETCH(int, error);
    Rig rig;
    rig.feed(own, alien);
    DebugCapture capture;
    QCOMPARE(rig.train(0, Nb::TmWithoutFlags), error == 0);
    QCOMPARE(rig.scheme.status(), error ? slotError(rig.conv, Nb::ErrorCode(error)) : Nb::ScOk);
    QCOMPARE(rig.conv->state(), error ? Nb::BsUntrained : Nb::BsTrained);
}

void TestBcNeuralConverter::refusedRequests()
{
    Rig rig;
    rig.feed();
    DebugCapture capture;
    // Unknown bits, and free bits on a slot that has nothing to keep.
    for (uint16_t flags : {0x10, 0x20, 0x40, 0x80, 0x1, 0x4}) {
        QVERIFY(!rig.train(flags));
        QCOMPARE(rig.scheme.status(), slotError(rig.conv, Nb::EcBlockFlag));
    }
    QVERIFY(!rig.conv->train(Nb::TmDefault, Nb::BsUntrained, Nb::BlockFlags(0)));
    QCOMPARE(rig.scheme.status(), slotError(rig.conv, Nb::EcBlockState));
    QVERIFY(!rig.conv->train(Nb::TmDefault, Nb::BsPartially, Nb::BlockFlags(0)));
    QCOMPARE(rig.scheme.status(), slotError(rig.conv, Nb::EcBlockState));
    // The state kept from an untrained slot is not a state to train to.
    rig.scheme.setStatus(Nb::ScOk);
    QVERIFY(!rig.conv->train(Nb::TmWithoutState, Nb::BsTrained, Nb::BlockFlags(0)));
    QCOMPARE(rig.scheme.status(), slotError(rig.conv, Nb::EcBlockState));
    QCOMPARE(rig.conv->state(), Nb::BsUntrained);
    // A front converter still waiting for its code, or given two.
    rig.conv->clearConstraint(Nb::CtOwn);
    QVERIFY(!rig.train());
    QCOMPARE(rig.scheme.status(), slotError(rig.conv, Nb::EcNoDataOwn));
    Nb::Matrix two(2, bitsMeta(Bits));
    rig.conv->set(Nb::CtOwn, Row(&two, 0));
    QVERIFY(!rig.train());
    QCOMPARE(rig.scheme.status(), slotError(rig.conv, Nb::EcNoDataOwn));
    QCOMPARE(rig.conv->state(), Nb::BsUntrained);
    QCOMPARE(rig.decodedLive(1), -1);
}

void TestBcNeuralConverter::trainsAndDecodes()
{
    Rig rig;
    rig.feed(16, 10);
    QVERIFY(rig.train());
    QCOMPARE(rig.scheme.status(), Nb::ScOk);
    QCOMPARE(rig.conv->layer().outputs(), Bits);
    QCOMPARE(rig.conv->layer().in, Features);
    QCOMPARE(rig.decodedLive(6), 6);
    QCOMPARE(rig.decoded(*aliens(6)), 0);

    // The training ran the test: own samples all decode, aliens hardly.
    const float* f = rig.conv->constraint(Nb::CtTst).r32(0);
    QCOMPARE(f[0], 0.0f);
    QCOMPARE(f[Nb::TmE1Bio], 0.0f);
    // Each container draws its own connections, and with them a figure
    // small enough to round to 0.
    QVERIFY(f[Nb::TmE2Bio] >= 0.0f && f[Nb::TmE2Bio] < 1.0f);
    QCOMPARE(f[Nb::TmE2Conv], f[Nb::TmE2Bio]);
    // Without aliens the second-kind figures stay 0.
    rig.input->clearConstraint(Nb::CtAll);
    rig.conv->clearConstraint(Nb::CtTst);
    QVERIFY(rig.conv->test());
    f = rig.conv->constraint(Nb::CtTst).r32(0);
    for (int i = Nb::TmE2Bio; i <= Nb::TmE2Conv; ++i)
        QCOMPARE(f[i], 0.0f);

    // An output row that holds columns is the cached result.
    Nb::Matrix held(1, bitsMeta(Bits));
    std::memset(held.at(0, 0), 0xA5, 3);
    rig.conv->set(Nb::CtAny, Row(&held, 0));
    rig.input->set(Nb::CtAny, Row(samples(rig.mu, 3).get(), 0));
    QVERIFY(rig.conv->emulate(Nb::CtAny, Nb::CtAny, true));
    QCOMPARE(cell(rig.conv->constraint(Nb::CtAny)), QByteArray(3, char(0xA5)));
}

void TestBcNeuralConverter::freeFlagsChangeWithoutTraining()
{
    Rig rig;
    rig.feed();
    QVERIFY(rig.train());
    const std::vector<float> before = rig.weights(3);
    const Nb::Uuid salt = rig.conv->layer().salt;
    QVERIFY(rig.train(0x4));
    QCOMPARE(uint16_t(rig.conv->flags()), uint16_t(0x4));
    QVERIFY(rig.weights(3) == before);
    QCOMPARE(rig.conv->layer().salt, salt);
    QVERIFY(rig.train(0x0, Nb::TrainMode(Nb::TmDefault | Nb::TmCheckOnly)));
    QCOMPARE(uint16_t(rig.conv->flags()), uint16_t(0x4));
    QVERIFY(rig.train(0x5, Nb::TrainMode(Nb::TmWithoutState)));
    QCOMPARE(uint16_t(rig.conv->flags()), uint16_t(0x5));
    // Bit 0x8 and the high byte are stored as they come, without training.
    QVERIFY(rig.train(0x5 | 0x8 | 0x300));
    QCOMPARE(uint16_t(rig.conv->flags()), uint16_t(0x5 | 0x8 | 0x300));
    QCOMPARE(rig.conv->state(), Nb::BsTrained);
    QVERIFY(rig.weights(3) == before);
    QCOMPARE(rig.conv->layer().salt, salt);
    // The same word again trains anew, from a fresh salt.
    QVERIFY(rig.train(0x5 | 0x8 | 0x300));
    QVERIFY(rig.conv->layer().salt != salt);
    QCOMPARE(rig.decodedLive(3), 3);
}

void TestBcNeuralConverter::protectionFollowsFlag()
{
    Rig rig;
    rig.feed(16, 8);
    QVERIFY(rig.train());
    const std::vector<float> plain = rig.weights(5);
    const Nb::Uuid salt = rig.conv->layer().salt;
    auto fresh = samples(rig.mu, 5, Live);
    QCOMPARE(rig.decoded(*fresh), 5);

    // Setting the flag folds the code in once, without a new salt.
    QVERIFY(rig.train(0x2));
    QVERIFY(rig.conv->layer().lf & LfProt);
    QCOMPARE(rig.conv->layer().salt, salt);
    const float x4 = float(Nb::Cell(rig.wanted->at(0, 0)).sign(4));
    for (size_t k = 0; k < plain.size(); ++k)
        QCOMPARE(rig.weights(5)[k], plain[k] * x4);
    QCOMPARE(rig.decoded(*fresh), 5);
    // Clearing it takes the code out again, exactly.
    QVERIFY(rig.train(0x0));
    QVERIFY(!(rig.conv->layer().lf & LfProt));
    QVERIFY(rig.weights(5) == plain);
    QCOMPARE(rig.decoded(*fresh), 5);
    // Inside a change of other bits the flag is honoured the same way.
    QVERIFY(rig.train(0x2 | 0x8 | 0x100));
    QVERIFY(rig.conv->layer().lf & LfProt);
    QCOMPARE(rig.decoded(*fresh), 5);
    QVERIFY(rig.train(0x8 | 0x1));
    QVERIFY(!(rig.conv->layer().lf & LfProt));
    QCOMPARE(rig.decoded(*fresh), 5);

    // An untrained slot asked for protection trains first; the scheme's
    // retraining with the slot's own flags keeps it.
    Rig fresh2;
    fresh2.feed();
    QVERIFY(fresh2.train(0x2));
    QVERIFY(fresh2.conv->layer().lf & LfProt);
    QCOMPARE(fresh2.decodedLive(4), 4);
    fresh2.conv->reset();
    QVERIFY(fresh2.train(0, Nb::TmWithoutFlags));
    QVERIFY(fresh2.conv->layer().lf & LfProt);
    QCOMPARE(fresh2.decodedLive(4), 4);
}

void TestBcNeuralConverter::failedRetrainingLeavesUntrained()
{
    Rig rig;
    rig.feed();
    QVERIFY(rig.train());
    auto poisoned = samples(rig.mu, 6);
    reinterpret_cast<float*>(poisoned->at(0, 2))[7] = std::numeric_limits<float>::quiet_NaN();
    rig.input->set(Nb::CtOwn, Row(poisoned.get(), 0));
    DebugCapture capture;
    QVERIFY(!rig.train());
    QCOMPARE(rig.scheme.status(), slotError(rig.conv, Nb::EcNoDataOwn));
    QCOMPARE(rig.conv->state(), Nb::BsUntrained);
    QVERIFY(rig.conv->layer().neurons.empty());
    QCOMPARE(rig.decodedLive(2), -1);
    Nb::Container c;
    QCOMPARE(rig.conv->writeParams(c, nullptr, nullptr), 0);
    QVERIFY(c.isEmpty());
}

void TestBcNeuralConverter::layerThatDoesNotFitIsRefused()
{
    // Marked trained by its record, but no layer was ever read into it.
    Rig rig(Bits, Nb::BsTrained);
    rig.feed();
    DebugCapture capture;
    QCOMPARE(rig.decodedLive(2), -1);
    QCOMPARE(rig.scheme.status(), slotError(rig.conv, Nb::EcConsistencyFail));
    rig.scheme.setStatus(Nb::ScOk);
    QVERIFY(!rig.conv->test());
    QCOMPARE(rig.scheme.status(), slotError(rig.conv, Nb::EcConsistencyFail));
    Nb::Container c;
    c.push(Nb::Block(Nb::BtAppData));
    QCOMPARE(rig.conv->writeParams(c, nullptr, nullptr), -1);
    QCOMPARE(c.count(), 1);
    // It takes no flag change as if it were trained; training trains anew.
    QVERIFY(!rig.train(0x1));
    QCOMPARE(rig.scheme.status(), slotError(rig.conv, Nb::EcBlockFlag));
    QVERIFY(rig.train(0x8));
    QCOMPARE(rig.decodedLive(2), 2);
}

void TestBcNeuralConverter::parameterBlockRoundTrip_data()
{
    QTest::addColumn<int>("flags");
    QTest::newRow("plain") << 0;
    QTest::newRow("protected") << 0x2;
}

void TestBcNeuralConverter::parameterBlockRoundTrip()
{
    QFETCH(int, flags);
    Rig rig;
    rig.feed();
    QVERIFY(rig.train(uint16_t(flags)));
    Nb::Container c;
    QCOMPARE(rig.conv->writeParams(c, nullptr, nullptr), 1);
    QCOMPARE(c.count(), 1);
    QCOMPARE(c.at(0)->type(), Nb::BtNeuralConv);
    QCOMPARE(c.at(0)->length(), c.at(0)->size());

    // The layout by hand: in, out (big-endian 16 bits), lf, cda, con, bpc;
    // per neuron its 32 indices in 16 bits each (packed from the low bit,
    // so little-endian); con again, bpw (signed, 32 bits); per neuron its
    // 32 weights as raw little-endian floats; a zero byte when protected.
    const QByteArray bytes = rig.params();
    const bool prot = flags != 0;
    const int32_t indices = 8;
    const int32_t weights = indices + Bits * Features * 2 + 2;
    QCOMPARE(bytes.size(), weights + Bits * Features * 4 + (prot ? 1 : 0));
    QCOMPARE(bytes.left(8), QByteArray::fromHex(prot ? "0020001880002010" : "0020001800002010"));
    const auto byteAt = [&](int32_t k) { return uint8_t(bytes.at(k)); };
    for (int32_t n = 0; n < Bits; ++n) {
        const Neuron& neuron = rig.conv->layer().neurons.at(size_t(n));
        QCOMPARE(int32_t(neuron.inputs.size()), Features);
        for (int32_t k = 0; k < Features; ++k) {
            const int32_t at = indices + (n * Features + k) * 2;
            QCOMPARE(int32_t(byteAt(at) | byteAt(at + 1) << 8), neuron.inputs.at(size_t(k)));
            const uint8_t* w = reinterpret_cast<const uint8_t*>(bytes.constData()) + weights + (n * Features + k) * 4;
            const uint32_t raw = uint32_t(w[0]) | uint32_t(w[1]) << 8 | uint32_t(w[2]) << 16 | uint32_t(w[3]) << 24;
            float weight = 0.0f;
            std::memcpy(&weight, &raw, sizeof weight);
            QCOMPARE(weight, neuron.weights.at(size_t(k)));
        }
    }
    QCOMPARE(bytes.mid(weights - 2, 2), QByteArray::fromHex("20a0"));
    if (prot)
        QCOMPARE(byteAt(bytes.size() - 1), uint8_t(0));

    // The scheme reader marks the slot trained from its record; the block
    // then brings the layer, byte for byte.
    Rig copy(Bits, Nb::BsTrained, uint16_t(flags));
    QCOMPARE(copy.conv->readParams(c, 0, nullptr), 1);
    QCOMPARE(copy.params(), rig.params());
    QCOMPARE(bool(copy.conv->layer().lf & LfProt), flags != 0);
    std::memcpy(copy.wanted->at(0, 0), rig.wanted->at(0, 0), 3);
    QCOMPARE(copy.decoded(*samples(rig.mu, 4, Live)), 4);
    // The slot's flag, not the block, says whether outputs are chained.
    Rig other(Bits, Nb::BsTrained, uint16_t(flags ^ 0x2));
    QCOMPARE(other.conv->readParams(c, 0, nullptr), 1);
    QCOMPARE(bool(other.conv->layer().lf & LfProt), flags == 0);
}

void TestBcNeuralConverter::hostileParameterBlocks()
{
    Rig rig;
    rig.feed();
    QVERIFY(rig.train());
    const QByteArray good = rig.params();
    auto blockOf = [](Nb::BlockType type, const QByteArray& data) {
        Nb::Container c;
        Nb::Block b(type);
        b.push(reinterpret_cast<const uint8_t*>(data.constData()), int32_t(data.size()));
        c.push(b);
        return c;
    };
    Rig target(Bits, Nb::BsTrained);
    DebugCapture capture;
    QCOMPARE(target.conv->readParams(blockOf(Nb::BtNeuralConv, good), 1, nullptr), -1);
    QCOMPARE(target.conv->readParams(blockOf(Nb::BtConnector, good), 0, nullptr), -1);
    QCOMPARE(target.scheme.status(), slotError(target.conv, Nb::EcBlockType));
    for (int32_t n = 0; n < good.size(); n += 7)
        QCOMPARE(target.conv->readParams(blockOf(Nb::BtNeuralConv, good.left(n)), 0, nullptr), -1);
    // Sound layers of another shape: 16 code bits, or 20 features.
    for (Rig* other : {new Rig(16), new Rig(Bits, Nb::BsUntrained, 0, 20)}) {
        std::unique_ptr<Rig> owned(other);
        other->feed();
        QVERIFY(other->train());
        target.scheme.setStatus(Nb::ScOk);
        QCOMPARE(target.conv->readParams(blockOf(Nb::BtNeuralConv, other->params()), 0, nullptr), -1);
        QCOMPARE(target.scheme.status(), slotError(target.conv, Nb::EcConsistencyFail));
    }
    QVERIFY(target.conv->layer().neurons.empty());
    QCOMPARE(target.conv->readParams(blockOf(Nb::BtNeuralConv, good), 0, nullptr), 1);
    QCOMPARE(target.conv->layer().outputs(), Bits);
}

void TestBcNeuralConverter::smallSchemes_data()
{
    QTest::addColumn<int>("joiner");
    QTest::addColumn<int>("half0");
    QTest::addColumn<int>("half1");
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("flags");
    QTest::addColumn<bool>("both");
    // The standard forms: halves joined, and whole codes as alternatives;
    // and a digest binding of random targets.
    QTest::newRow("join") << int(Nb::BtConnector) << 16 << 16 << 32 << 0x60 << true;
    QTest::newRow("digest") << int(Nb::BtConnector) << 32 << 32 << 160 << 0x60 << true;
    QTest::newRow("alternatives") << int(Nb::BtCondition) << 24 << 24 << 24 << 0x40 << false;
}

void TestBcNeuralConverter::smallSchemes()
{
    QFETCH(int, joiner);
    QFETCH(int, half0);
    QFETCH(int, half1);
    QFETCH(int, bits);
    QFETCH(int, flags);
    QFETCH(bool, both);
    // Two inputs, a converter on each, and the block that joins them.
    auto build = [&](Nb::Scheme& s, Nb::BlockState state) {
        s.push(Nb::StIn, SampleMeta).push(Nb::StIn, SampleMeta);
        for (int k = 0; k < 2; ++k)
            s.push(Nb::Slot(Nb::SlotId::conv(Nb::BtNeuralConv, uint8_t(k + 1)), bitsMeta(k ? half1 : half0),
                            Nb::SlotIds{s.slotId(k)}, Nb::BlockFlags(0), state));
        s.push(Nb::Slot(Nb::SlotId::conv(uint8_t(joiner), 1), bitsMeta(bits),
                        Nb::SlotIds{Nb::SlotId(s.slotId(2).number()), Nb::SlotId(s.slotId(3).number())},
                        Nb::BlockFlags(flags), state));
        s.setOut(4);
        BcSlots all;
        for (int k = 0; k < 5; ++k)
            all << dynamic_cast<BcSlot*>(s.at(k));
        return all;
    };
    const std::vector<float> people[2] = {person(), person()};
    auto wanted = code(bits);
    auto extract = [&](const BcSlots& all, const std::vector<float>* a, const std::vector<float>* b) {
        for (BcSlot* slot : all)
            slot->clearConstraint(Nb::CtAny);
        if (a)
            all.at(0)->set(Nb::CtAny, Row(samples(*a, 1, Live).get(), 0));
        if (b)
            all.at(1)->set(Nb::CtAny, Row(samples(*b, 1, Live).get(), 0));
        return all.at(4)->emulate(Nb::CtAny, Nb::CtAny, true) ? cell(all.at(4)->constraint(Nb::CtAny))
                                                                 : QByteArray();
    };
    Factory factory;
    Nb::Scheme s(&factory);
    const BcSlots all = build(s, Nb::BsUntrained);
    QCOMPARE(s.status(), Nb::ScOk);
    for (int k = 0; k < 2; ++k) {
        all.at(k)->set(Nb::CtOwn, Row(samples(people[k], 12).get(), 0));
        all.at(k)->set(Nb::CtAll, Row(aliens(6).get(), 0));
    }
    all.at(4)->set(Nb::CtOwn, Row(wanted.get(), 0));
    DebugCapture capture;
    const BcSlots converters = all.mid(2);
    // The front converters wait for their targets from the joining block.
    QVERIFY(!converters.at(0)->train(Nb::TmWithoutFlags, Nb::BsTrained, Nb::BlockFlags(0)));
    QCOMPARE(s.status(), slotError(converters.at(0), Nb::EcNoDataOwn));
    QVERIFY(trainPass(converters));
    for (BcSlot* slot : converters)
        QCOMPARE(slot->state(), Nb::BsTrained);
    const QByteArray key = cell(Row(wanted.get(), 0));
    QCOMPARE(extract(all, &people[0], &people[1]), key);
    const std::vector<float> stranger = person();
    QVERIFY(extract(all, &stranger, &people[1]) != key);
    // Alternatives need one sample, whichever; a join needs both.
    QCOMPARE(extract(all, nullptr, &people[1]), both ? QByteArray() : key);

    // All parameters written and read back into a scheme marked trained.
    Nb::Container c;
    for (BcSlot* slot : converters)
        QCOMPARE(slot->writeParams(c, nullptr, nullptr), 1);
    Nb::Scheme loadedScheme(&factory);
    const BcSlots loaded = build(loadedScheme, Nb::BsTrained);
    for (int k = 0; k < 3; ++k)
        QCOMPARE(loaded.at(2 + k)->readParams(c, k, nullptr), 1);
    QCOMPARE(extract(loaded, &people[0], &people[1]), key);
}

QTEST_GUILESS_MAIN(TestBcNeuralConverter)
#include "tst_bcneuralconverter.moc"

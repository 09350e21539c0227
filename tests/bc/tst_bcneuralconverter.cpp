#include "bc/BcNeuralConverter.h"
#include "bc/BcParam.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>

#include <QtTest>

#include "DebugCapture.h"
#include "qtnb/Scheme.h"

using namespace Bc;
using Row = Nb::Matrix::Row;

namespace {

constexpr int32_t Features = 32;
constexpr int32_t Bits = 24;
const Nb::Meta SampleMeta(Features, Nb::MfR32, Nb::MtC);
const Nb::Meta CodeMeta(Bits, Nb::MfI1, Nb::MtDO);
// Live samples lie well inside the spread the converter was trained on.
constexpr float Live = 0.01f;

class Factory : public Nb::Scheme::Factory {
public:
    Nb::Slot* create(Nb::SlotId id) override
    {
        if (id.type() != Nb::StConv)
            return new BcParam(id, Nb::NilMeta);
        return id.block() == Nb::BtNeuralConv ? new BcNeuralConverter(id, Nb::NilMeta) : nullptr;
    }
};

// Deterministic people: a mean vector each, samples scattered around it.
class Synth {
public:
    explicit Synth(uint32_t seed) : m_gen(seed) {}
    float unit() { return float(double(m_gen()) / 4294967296.0); }
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
        for (int32_t c = 0; c < count; ++c) {
            auto one = samples(person(features), 1);
            std::memcpy(m->at(0, c), one->at(0, 0), size_t(features) * sizeof(float));
        }
        return m;
    }
    std::unique_ptr<Nb::Matrix> code(const Nb::Meta& meta = CodeMeta)
    {
        auto m = std::make_unique<Nb::Matrix>(1, meta);
        Nb::Cell cell(m->at(0, 0));
        for (int32_t i = 0; i < meta.count; ++i)
            cell.putBit(uint32_t(i), int32_t(m_gen() & 1));
        return m;
    }

private:
    std::mt19937 m_gen;
};

// One parameter input feeding one converter.
struct Rig {
    explicit Rig(int32_t bits = Bits, Nb::BlockState state = Nb::BsUntrained, uint16_t flags = 0,
                 int32_t features = Features)
        : scheme(&factory), synth(7), mu(synth.person(features))
    {
        scheme.push(Nb::StIn, Nb::Meta(features, Nb::MfR32, Nb::MtC));
        const Nb::SlotId id = Nb::SlotId::conv(Nb::BtNeuralConv, 1);
        scheme.push(Nb::Slot(id, Nb::Meta(bits, Nb::MfI1, Nb::MtDO), Nb::SlotIds{scheme.slotId(0)},
                             Nb::BlockFlags(flags), state));
        scheme.setOut(1);
        input = dynamic_cast<BcParam*>(scheme.at(0));
        conv = dynamic_cast<BcNeuralConverter*>(scheme.at(1));
        code = synth.code(Nb::Meta(bits, Nb::MfI1, Nb::MtDO));
    }
    void feed(int32_t own = 12, int32_t alien = 8)
    {
        auto o = synth.samples(mu, own);
        auto a = synth.aliens(alien, int32_t(mu.size()));
        QVERIFY(input->set(Nb::CtOwn, Row(o.get(), 0)));
        QVERIFY(input->set(Nb::CtAll, Row(a.get(), 0)));
        QVERIFY(conv->set(Nb::CtOwn, Row(code.get(), 0)));
    }
    bool train(uint16_t flags = 0, Nb::TrainMode mode = Nb::TmDefault)
    {
        conv->clearConstraint(Nb::CtTst);
        return conv->train(mode, Nb::BsTrained, Nb::BlockFlags(flags));
    }
    // Codes of fresh samples: how many of them equal the wanted code.
    int32_t decoded(const Nb::Matrix& samples)
    {
        input->set(Nb::CtAny, Row(&samples, 0));
        conv->clearConstraint(Nb::CtAny);
        if (!conv->emulate(Nb::CtAny, Nb::CtAny, true))
            return -1;
        const Row out = conv->constraint(Nb::CtAny);
        int32_t same = 0;
        for (int32_t j = 0; j < out.cols(); ++j)
            same += std::memcmp(out.at(j), code->at(0, 0), size_t(CodeMeta.size())) == 0 ? 1 : 0;
        return same;
    }
    QByteArray params()
    {
        Nb::Container c;
        if (conv->writeParams(c, nullptr, nullptr) != 1)
            return QByteArray();
        QByteArray bytes;
        QDataStream s(&bytes, QIODevice::WriteOnly);
        c.writeContainer(s, false);
        return bytes;
    }
    std::vector<float> weights(int32_t neuron) const { return conv->layer().neurons.at(size_t(neuron)).weights; }

    Factory factory;
    Nb::Scheme scheme;
    Synth synth;
    std::vector<float> mu;
    BcParam* input = nullptr;
    BcNeuralConverter* conv = nullptr;
    std::unique_ptr<Nb::Matrix> code;
};

Nb::Status slotError(const BcSlot* slot, Nb::ErrorCode code) { return Nb::slotStatus(slot->id(), code); }

} // namespace

class TestBcNeuralConverter : public QObject {
    Q_OBJECT
private slots:
    void validation_data();
    void validation();
    void sampleCounts_data();
    void sampleCounts();
    void codeMustBeOneColumn();
    void trainsAndDecodes();
    void refusedRequests();
    void freeFlagsChangeWithoutTraining();
    void protectionFollowsFlag();
    void protectionOnUntrainedSlotTrainsFirst();
    void failedRetrainingLeavesUntrained();
    void layerThatDoesNotFitIsRefused();
    void emulationIsCached();
    void testWithoutAliens();
    void parameterBlockRoundTrip_data();
    void parameterBlockRoundTrip();
    void hostileParameterBlocks();
};

void TestBcNeuralConverter::validation_data()
{
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("flags");
    QTest::addColumn<int>("inputs");
    QTest::addColumn<int>("inputFormat");
    QTest::addColumn<int>("error");
    QTest::newRow("24 bits") << 24 << 0 << 1 << int(Nb::MfR32) << 0;
    QTest::newRow("20 bits") << 20 << 0 << 1 << int(Nb::MfR32) << int(Nb::EcMeta);
    QTest::newRow("flag 0x10") << 24 << 0x10 << 1 << int(Nb::MfR32) << int(Nb::EcBlockFlag);
    QTest::newRow("flag 0x40") << 24 << 0x40 << 1 << int(Nb::MfR32) << int(Nb::EcBlockFlag);
    QTest::newRow("high byte") << 24 << 0x0300 << 1 << int(Nb::MfR32) << 0;
    QTest::newRow("two inputs") << 24 << 0 << 2 << int(Nb::MfR32) << int(Nb::EcCScheme);
    QTest::newRow("MfR64 input") << 24 << 0 << 1 << int(Nb::MfR64) << int(Nb::EcMeta);
}

void TestBcNeuralConverter::validation()
{
    QFETCH(int, bits);
    QFETCH(int, flags);
    QFETCH(int, inputs);
    QFETCH(int, inputFormat);
    QFETCH(int, error);
    Factory factory;
    Nb::Scheme s(&factory);
    s.push(Nb::StIn, Nb::Meta(8, Nb::MetaFormat(inputFormat), Nb::MtC));
    s.push(Nb::StIn, Nb::Meta(8, Nb::MetaFormat(inputFormat), Nb::MtC));
    Nb::SlotTypes kinds;
    Nb::SlotNums positions;
    for (int i = 0; i < inputs; ++i) {
        kinds << Nb::StIn;
        positions << i;
    }
    DebugCapture capture;
    s.push(Nb::BtNeuralConv, Nb::Meta(bits, Nb::MfI1, Nb::MtDO), kinds, positions, Nb::BlockFlags(flags));
    BcSlot* conv = dynamic_cast<BcSlot*>(s.at(2));
    QVERIFY(conv);
    s.setStatus(Nb::ScOk);
    QCOMPARE(conv->validate(), error == 0);
    QCOMPARE(s.status(), error ? slotError(conv, Nb::ErrorCode(error)) : Nb::ScOk);
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

void TestBcNeuralConverter::codeMustBeOneColumn()
{
    Rig rig;
    rig.feed();
    DebugCapture capture;
    // A front converter still waiting for its target from the block behind it.
    rig.conv->clearConstraint(Nb::CtOwn);
    QVERIFY(!rig.train());
    QCOMPARE(rig.scheme.status(), slotError(rig.conv, Nb::EcNoDataOwn));
    Nb::Matrix two(2, CodeMeta);
    rig.conv->set(Nb::CtOwn, Row(&two, 0));
    rig.scheme.setStatus(Nb::ScOk);
    QVERIFY(!rig.train());
    QCOMPARE(rig.scheme.status(), slotError(rig.conv, Nb::EcNoDataOwn));
    QCOMPARE(rig.conv->state(), Nb::BsUntrained);
    // No own samples at all: the input reports its missing data, the
    // converter what that means for training.
    rig.input->clearConstraint(Nb::CtOwn);
    rig.conv->set(Nb::CtOwn, Row(rig.code.get(), 0));
    QVERIFY(!rig.train());
    QCOMPARE(rig.scheme.status(), slotError(rig.conv, Nb::EcNoDataOwn));
}

void TestBcNeuralConverter::trainsAndDecodes()
{
    Rig rig;
    rig.feed(16, 10);
    QVERIFY(rig.train());
    QCOMPARE(rig.scheme.status(), Nb::ScOk);
    QCOMPARE(rig.conv->state(), Nb::BsTrained);
    QCOMPARE(rig.conv->layer().outputs(), Bits);
    QCOMPARE(rig.conv->layer().in, Features);

    auto fresh = rig.synth.samples(rig.mu, 6, Live);
    QCOMPARE(rig.decoded(*fresh), 6);
    auto strangers = rig.synth.aliens(6);
    QCOMPARE(rig.decoded(*strangers), 0);

    // The training ran the test: own samples all decode, aliens hardly.
    const Row tst = rig.conv->constraint(Nb::CtTst);
    QCOMPARE(tst.cols(), 1);
    const float* f = tst.r32(0);
    QCOMPARE(f[0], 0.0f);
    QCOMPARE(f[Nb::TmE1Bio], 0.0f);
    QVERIFY(f[Nb::TmE2Bio] > 0.0f && f[Nb::TmE2Bio] < 1.0f);
    for (int i = Nb::TmE2BioHumanC; i <= Nb::TmE2Conv; ++i)
        QCOMPARE(f[i], f[Nb::TmE2Bio]);
}

void TestBcNeuralConverter::refusedRequests()
{
    Rig rig;
    rig.feed();
    DebugCapture capture;
    QVERIFY(!rig.conv->train(Nb::TmDefault, Nb::BsUntrained, Nb::BlockFlags(0)));
    QCOMPARE(rig.scheme.status(), slotError(rig.conv, Nb::EcBlockState));
    QVERIFY(!rig.train(0x20));
    QCOMPARE(rig.scheme.status(), slotError(rig.conv, Nb::EcBlockFlag));
    // Bit 0x4 may change only on a trained slot.
    QVERIFY(!rig.train(0x4));
    QCOMPARE(rig.scheme.status(), slotError(rig.conv, Nb::EcBlockFlag));
    QCOMPARE(rig.conv->state(), Nb::BsUntrained);
    QVERIFY(!rig.conv->emulate(Nb::CtAny, Nb::CtAny, true));
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
}

void TestBcNeuralConverter::protectionFollowsFlag()
{
    Rig rig;
    rig.feed(16, 8);
    QVERIFY(rig.train());
    const std::vector<float> plain = rig.weights(5);
    const Nb::Uuid salt = rig.conv->layer().salt;
    auto fresh = rig.synth.samples(rig.mu, 5, Live);
    QCOMPARE(rig.decoded(*fresh), 5);

    // Setting the flag folds the code in once, without a new salt.
    QVERIFY(rig.train(0x2));
    QVERIFY(rig.conv->layer().lf & LfProt);
    QCOMPARE(rig.conv->layer().salt, salt);
    const float x4 = Nb::Cell(rig.code->at(0, 0)).sign(4);
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
    QCOMPARE(uint16_t(rig.conv->flags()), uint16_t(0x9));
    QCOMPARE(rig.decoded(*fresh), 5);
}

void TestBcNeuralConverter::protectionOnUntrainedSlotTrainsFirst()
{
    Rig rig;
    rig.feed();
    QVERIFY(rig.train(0x2));
    QCOMPARE(rig.conv->state(), Nb::BsTrained);
    QCOMPARE(rig.conv->layer().outputs(), Bits);
    QVERIFY(rig.conv->layer().lf & LfProt);
    auto fresh = rig.synth.samples(rig.mu, 4, Live);
    QCOMPARE(rig.decoded(*fresh), 4);
    // The scheme's retraining with the slot's own flags keeps the protection.
    rig.conv->reset();
    QVERIFY(rig.train(0, Nb::TmWithoutFlags));
    QVERIFY(rig.conv->layer().lf & LfProt);
    QCOMPARE(rig.decoded(*fresh), 4);
}

void TestBcNeuralConverter::failedRetrainingLeavesUntrained()
{
    Rig rig;
    rig.feed();
    QVERIFY(rig.train());
    auto poisoned = rig.synth.samples(rig.mu, 6, Live);
    reinterpret_cast<float*>(poisoned->at(0, 2))[7] = std::numeric_limits<float>::quiet_NaN();
    rig.input->set(Nb::CtOwn, Row(poisoned.get(), 0));
    DebugCapture capture;
    QVERIFY(!rig.train());
    QCOMPARE(rig.scheme.status(), slotError(rig.conv, Nb::EcNoDataOwn));
    QCOMPARE(rig.conv->state(), Nb::BsUntrained);
    QVERIFY(rig.conv->layer().neurons.empty());
    auto fresh = rig.synth.samples(rig.mu, 2, Live);
    QCOMPARE(rig.decoded(*fresh), -1);
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
    auto fresh = rig.synth.samples(rig.mu, 2, Live);
    QCOMPARE(rig.decoded(*fresh), -1);
    QCOMPARE(rig.scheme.status(), slotError(rig.conv, Nb::EcConsistencyFail));
    rig.scheme.setStatus(Nb::ScOk);
    QVERIFY(!rig.conv->test());
    QCOMPARE(rig.scheme.status(), slotError(rig.conv, Nb::EcConsistencyFail));
    QCOMPARE(rig.conv->constraintCols(Nb::CtTst), 0);
    Nb::Container c;
    c.push(Nb::Block(Nb::BtAppData));
    QCOMPARE(rig.conv->writeParams(c, nullptr, nullptr), -1);
    QCOMPARE(c.count(), 1);
    // It takes no flag change as if it were trained; a training request
    // trains the layer anew.
    QVERIFY(!rig.train(0x1));
    QCOMPARE(rig.scheme.status(), slotError(rig.conv, Nb::EcBlockFlag));
    QVERIFY(rig.train(0x8));
    QCOMPARE(rig.decoded(*fresh), 2);
}

void TestBcNeuralConverter::emulationIsCached()
{
    Rig rig;
    rig.feed();
    QVERIFY(rig.train());
    Nb::Matrix held(1, CodeMeta);
    std::memset(held.at(0, 0), 0xA5, size_t(CodeMeta.size()));
    rig.conv->set(Nb::CtAny, Row(&held, 0));
    auto fresh = rig.synth.samples(rig.mu, 3, Live);
    rig.input->set(Nb::CtAny, Row(fresh.get(), 0));
    QVERIFY(rig.conv->emulate(Nb::CtAny, Nb::CtAny, true));
    QCOMPARE(rig.conv->constraintCols(Nb::CtAny), 1);
    QCOMPARE(rig.conv->constraint(Nb::CtAny).at(0)[2], uint8_t(0xA5));
}

void TestBcNeuralConverter::testWithoutAliens()
{
    Rig rig;
    rig.feed();
    QVERIFY(rig.train());
    rig.input->clearConstraint(Nb::CtAll);
    rig.conv->clearConstraint(Nb::CtTst);
    QVERIFY(rig.conv->test());
    const float* f = rig.conv->constraint(Nb::CtTst).r32(0);
    QCOMPARE(f[Nb::TmE1Bio], 0.0f);
    for (int i = Nb::TmE2Bio; i <= Nb::TmE2Conv; ++i)
        QCOMPARE(f[i], 0.0f);
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
    const QByteArray bytes = rig.params();

    // The scheme reader marks the slot trained from its record; the block
    // then brings the layer.
    Rig copy(Bits, Nb::BsTrained, uint16_t(flags));
    QCOMPARE(copy.conv->readParams(c, 0, nullptr), 1);
    QCOMPARE(copy.params(), bytes);
    QVERIFY(copy.conv->layer().lf & LfProt ? flags : !flags);

    auto fresh = rig.synth.samples(rig.mu, 4, Live);
    copy.code = std::make_unique<Nb::Matrix>(1, CodeMeta);
    std::memcpy(copy.code->at(0, 0), rig.code->at(0, 0), size_t(CodeMeta.size()));
    QCOMPARE(copy.decoded(*fresh), 4);
}

void TestBcNeuralConverter::hostileParameterBlocks()
{
    Rig rig;
    rig.feed();
    QVERIFY(rig.train());
    Nb::Container good;
    QCOMPARE(rig.conv->writeParams(good, nullptr, nullptr), 1);
    const Nb::Block& layer = *good.at(0);

    Rig target(Bits, Nb::BsTrained);
    DebugCapture capture;
    // Nothing at the index.
    QCOMPARE(target.conv->readParams(good, 1, nullptr), -1);
    QCOMPARE(target.conv->readParams(good, -1, nullptr), -1);
    // A connector's block where the layer should be.
    Nb::Container other;
    Nb::Block wrong(Nb::BtConnector);
    wrong.push(layer.data(), layer.size());
    other.push(wrong);
    QCOMPARE(target.conv->readParams(other, 0, nullptr), -1);
    QCOMPARE(target.scheme.status(), slotError(target.conv, Nb::EcBlockType));
    // Cut short at every length.
    for (int32_t n = 0; n < layer.size(); n += 7) {
        Nb::Container cut;
        Nb::Block b(Nb::BtNeuralConv);
        b.push(layer.data(), n);
        cut.push(b);
        QCOMPARE(target.conv->readParams(cut, 0, nullptr), -1);
    }
    QVERIFY(target.conv->layer().neurons.empty());
    // A sound layer of another shape: 16 code bits, or 20 features.
    Rig narrow(16);
    narrow.feed();
    QVERIFY(narrow.train());
    Nb::Container c16;
    narrow.conv->writeParams(c16, nullptr, nullptr);
    target.scheme.setStatus(Nb::ScOk);
    QCOMPARE(target.conv->readParams(c16, 0, nullptr), -1);
    QCOMPARE(target.scheme.status(), slotError(target.conv, Nb::EcConsistencyFail));
    Rig thin(Bits, Nb::BsUntrained, 0, 20);
    thin.feed();
    QVERIFY(thin.train());
    Nb::Container c20;
    thin.conv->writeParams(c20, nullptr, nullptr);
    QCOMPARE(target.conv->readParams(c20, 0, nullptr), -1);
    QVERIFY(target.conv->layer().neurons.empty());
    // The sound block still loads afterwards.
    QCOMPARE(target.conv->readParams(good, 0, nullptr), 1);
    QCOMPARE(target.conv->layer().outputs(), Bits);
}

QTEST_GUILESS_MAIN(TestBcNeuralConverter)
#include "tst_bcneuralconverter.moc"

// The engine component behind its interface: every result code, the
// buffer-size protocol, hostile pointers, lengths and constraint numbers,
// and failures that must never read as success.

#include <QtTest>

#include "DebugCapture.h"
#include "UlvarRig.h"
#include "bc/BcUlvar.h"

using namespace Bc;

namespace {

constexpr int32_t Features = 32;
constexpr int32_t Bits = 24;
const Nb::SlotId Input = 0x0001;
const Nb::SlotId Conv = 0xFF81;

QByteArray hex(const char* text) { return QByteArray::fromHex(QByteArray(text).replace(' ', "")); }

QByteArray schemeBytes(const Nb::Scheme& s)
{
    QByteArray out;
    QDataStream stream(&out, QIODevice::WriteOnly);
    s.writeScheme(stream, true);
    return out;
}

// A component holding one reference, released at the end.
struct Engine {
    Engine()
    {
        void* out = nullptr;
        u = new BcUlvar();
        u->queryInterface(&IID_nbIUlvar, &out);
    }
    ~Engine() { u->release(); }
    uint32_t load()
    {
        Nb::Scheme s;
        rig::oneInput(s, Bits, Features);
        return u->setScheme(rig::dataOf(schemeBytes(s)));
    }
    uint32_t trainAll()
    {
        if (uint32_t rc = load())
            return rc;
        u->setConstraint(Input, Nb::CtAll, alien.get());
        u->setConstraint(Input, Nb::CtOwn, own.get());
        return u->train(nullptr, nullptr, code.get(), Nb::ToInfinite);
    }
    BcUlvar* u = nullptr;
    rig::Synth synth{11};
    std::vector<float> mu = synth.person(Features);
    rig::MatrixPtr own = synth.samples(mu, 12, 0.04f);
    rig::MatrixPtr alien = synth.aliens(8, Features);
    rig::MatrixPtr live = synth.samples(mu, 1, 0.004f);
    QByteArray key = synth.key(Bits / 8);
    rig::MatrixPtr code = rig::codeMatrix(key);
};

rig::MatrixPtr figure(Nb::MetaFormat format = Nb::MfR32, int32_t count = 1)
{
    auto m = std::make_unique<Nb::Matrix>(1, Nb::Meta(count, format, Nb::MtC));
    std::memset(m->at(0, 0), 0, size_t(Nb::Meta(count, format, Nb::MtC).size()));
    return m;
}

} // namespace

class TestBcUlvar : public QObject {
    Q_OBJECT
private slots:
    void references();
    void nullPointersAndBadLengths();
    void constraintNumbersOutOfRange_data();
    void constraintNumbersOutOfRange();
    void testArguments_data();
    void testArguments();
    void unknownSlotIds();
    void getSlotRetry();
    void getParamsRetry();
    void setSchemeRefusesWhatDoesNotHold();
    void setParamsRefusals();
    void failuresNeverReadAsSuccess();
    void rowCountsAndLayouts();
    void emulateUsesRowsSetBefore();
};

void TestBcUlvar::references()
{
    const int32_t before = BcUlvar::liveCount.load();
    BcUlvar* u = new BcUlvar();
    QCOMPARE(BcUlvar::liveCount.load(), before + 1);
    QCOMPARE(u->refCount(), 0);
    void* out = nullptr;
    QCOMPARE(u->queryInterface(&IID_nbIUnknown, &out), nbS_OK);
    QCOMPARE(out, static_cast<void*>(static_cast<nbIUlvar*>(u)));
    const Nb::Uuid com("{00000000-0000-0000-C000-000000000046}");
    void* none = nullptr;
    QCOMPARE(u->queryInterface(&com, &none), nbE_NO_INTERFACE);
    QCOMPARE(none, nullptr);
    QCOMPARE(u->queryInterface(&IID_nbIUlvar, nullptr), nbE_POINTER);
    QCOMPARE(u->queryInterface(nullptr, &out), nbE_POINTER);
    QCOMPARE(u->addRef(), 1u);
    QCOMPARE(u->addRef(), 1u);
    QCOMPARE(u->release(), 2u);
    QCOMPARE(u->release(), 1u);
    QCOMPARE(u->reserved3(), nbE_UNSUPPORTED_FUNCTION);
    QCOMPARE(u->reserved5(), nbE_UNSUPPORTED_FUNCTION);
    QCOMPARE(u->release(), 0u);
    QCOMPARE(BcUlvar::liveCount.load(), before);
}

void TestBcUlvar::nullPointersAndBadLengths()
{
    Engine e;
    QCOMPARE(e.load(), nbS_OK);
    QCOMPARE(e.u->setScheme(nullptr), nbE_POINTER);
    QCOMPARE(e.u->getSlot(Conv, nullptr), nbE_POINTER);
    QCOMPARE(e.u->getParams(nullptr, nullptr), nbE_POINTER);
    QCOMPARE(e.u->setParams(nullptr), nbE_POINTER);
    QCOMPARE(e.u->setConstraint(Input, Nb::CtOwn, nullptr), nbE_POINTER);
    QCOMPARE(e.u->getConstraint(Input, Nb::CtOwn, nullptr), nbE_POINTER);
    QCOMPARE(e.u->qeval(nullptr, nullptr, nullptr), nbE_POINTER);
    QCOMPARE(e.u->emulate(nullptr, nullptr, nullptr), nbE_PARAM);

    // A length word below zero is refused before a byte is read.
    QByteArray negative = hex("ffffffff 00000000");
    QCOMPARE(e.u->setScheme(rig::dataOf(negative)), nbE_PARAM);
    QCOMPARE(e.u->getSlot(Conv, rig::dataOf(negative)), nbE_PARAM);
    QCOMPARE(e.u->getParams(rig::dataOf(negative), nullptr), nbE_PARAM);
    QCOMPARE(e.u->setParams(rig::dataOf(negative)), nbE_PARAM);
    QCOMPARE(rig::lengthWord(negative), -1);
    QByteArray huge = hex("00000080 00000000");
    QCOMPARE(e.u->setParams(rig::dataOf(huge)), nbE_PARAM);
    // The scheme loaded before is still there.
    QByteArray slot = rig::prefixed(QByteArray(64, '\0'));
    QCOMPARE(e.u->getSlot(Conv, rig::dataOf(slot)), nbS_OK);
}

void TestBcUlvar::constraintNumbersOutOfRange_data()
{
    QTest::addColumn<int>("ct");
    QTest::addColumn<uint>("result");
    QTest::newRow("CtGe") << -1 << uint(nbS_OK);
    QTest::newRow("CtAll") << 3 << uint(nbS_OK);
    QTest::newRow("4") << 4 << uint(nbE_PARAM);
    QTest::newRow("-2") << -2 << uint(nbE_PARAM);
    QTest::newRow("-32768") << -32768 << uint(nbE_PARAM);
    QTest::newRow("32767") << 32767 << uint(nbE_PARAM);
}

void TestBcUlvar::constraintNumbersOutOfRange()
{
    QFETCH(int, ct);
    QFETCH(uint, result);
    Engine e;
    QCOMPARE(e.load(), nbS_OK);
    Nb::Matrix empty;
    QCOMPARE(e.u->setConstraint(Input, Nb::ConstraintType(ct), &empty), uint32_t(result));
    Nb::Matrix one(0, Nb::Meta(Features, Nb::MfR32, Nb::MtC));
    const uint32_t got = e.u->getConstraint(Input, Nb::ConstraintType(ct), &one);
    if (result == nbE_PARAM)
        QCOMPARE(got, nbE_PARAM);
    else
        QVERIFY(got != nbE_PARAM);
}

void TestBcUlvar::testArguments_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("nullOut");
    QTest::addColumn<uint>("result");
    QTest::newRow("mode 0, null out") << 0 << int(Nb::MfR32) << 1 << true << uint(nbE_TEST_MODE);
    QTest::newRow("mode 9, null out") << 9 << int(Nb::MfR32) << 1 << true << uint(nbE_TEST_MODE);
    QTest::newRow("mode 0xFFFF") << 0xFFFF << int(Nb::MfR32) << 1 << false << uint(nbE_TEST_MODE);
    QTest::newRow("null out") << 1 << int(Nb::MfR32) << 1 << true << uint(nbE_PARAM);
    QTest::newRow("MfR64") << 2 << int(Nb::MfR64) << 1 << false << uint(nbE_META);
    QTest::newRow("count 0") << 2 << int(Nb::MfR32) << 0 << false << uint(nbE_META);
    QTest::newRow("mode 1") << 1 << int(Nb::MfR32) << 1 << false << uint(nbS_OK);
    QTest::newRow("mode 8") << 8 << int(Nb::MfR32) << 4 << false << uint(nbS_OK);
}

void TestBcUlvar::testArguments()
{
    QFETCH(int, mode);
    QFETCH(int, format);
    QFETCH(int, count);
    QFETCH(bool, nullOut);
    QFETCH(uint, result);
    Engine e;
    QCOMPARE(e.trainAll(), nbS_OK);
    auto out = figure(Nb::MetaFormat(format), qMax(count, 1));
    if (count == 0)
        out->setMeta(0, Nb::Meta(0, Nb::MfR32, Nb::MtC));
    *reinterpret_cast<float*>(out->at(0, 0)) = -7.0f;
    QCOMPARE(e.u->test(Nb::TestMode(mode), nullOut ? nullptr : out.get(), Nb::ToInfinite), uint32_t(result));
    if (result == nbS_OK) {
        const float v = *reinterpret_cast<float*>(out->at(0, 0));
        QVERIFY(v >= 0.0f && v <= 1.0f);
    }
    // A matrix without rows holds no row 0.
    Nb::Matrix none;
    QCOMPARE(e.u->test(Nb::TmE1Bio, &none, Nb::ToInfinite), nbE_PARAM);
}

void TestBcUlvar::unknownSlotIds()
{
    Engine e;
    QByteArray buffer = rig::prefixed(QByteArray(64, '\0'));
    // Nothing loaded: no slot at all, not even the result.
    QCOMPARE(e.u->getSlot(0, rig::dataOf(buffer)), nbE_SLOT_ID);
    QCOMPARE(e.u->trainSlot(0, Nb::TmDefault, Nb::BsTrained, Nb::BlockFlags(0), Nb::ToInfinite), nbE_SLOT_ID);
    QCOMPARE(e.load(), nbS_OK);
    QCOMPARE(e.u->getSlot(0x0005, rig::dataOf(buffer)), nbE_SLOT_ID);
    QCOMPARE(e.u->trainSlot(0xFF85, Nb::TmDefault, Nb::BsTrained, Nb::BlockFlags(0), Nb::ToInfinite), nbE_SLOT_ID);
    QCOMPARE(e.u->setConstraint(0x0005, Nb::CtOwn, e.own.get()), 0xC0000021u);
    Nb::Matrix one(1, Nb::Meta(Features, Nb::MfR32, Nb::MtC));
    QCOMPARE(e.u->getConstraint(0x0005, Nb::CtOwn, &one), 0xC0000021u);
    const uint16_t ids[] = {0x0005};
    auto out = rig::emptyCode(Bits);
    QCOMPARE(e.u->emulate(nullptr, out.get(), ids), 0xC0000021u);
}

void TestBcUlvar::getSlotRetry()
{
    Engine e;
    QCOMPARE(e.load(), nbS_OK);
    QByteArray small = rig::prefixed(QByteArray(13, '\x55'));
    QCOMPARE(e.u->getSlot(Conv, rig::dataOf(small)), nbE_INSUFFICIENT_BUFFER);
    QCOMPARE(rig::lengthWord(small), 14);
    QCOMPARE(small.mid(4), QByteArray(13, '\x55'));
    QByteArray exact = rig::prefixed(QByteArray(14, '\0'));
    QCOMPARE(e.u->getSlot(Conv, rig::dataOf(exact)), nbS_OK);
    QCOMPARE(exact, hex("0e000000 81ff 18000000 01 06 0000 00 01 0100"));
    // The nil id names the result; a plain slot's record is its id and Meta.
    QByteArray result = rig::prefixed(QByteArray(32, '\0'));
    QCOMPARE(e.u->getSlot(0, rig::dataOf(result)), nbS_OK);
    QCOMPARE(rig::lengthWord(result), 14);
    QByteArray input = rig::prefixed(QByteArray(32, '\0'));
    QCOMPARE(e.u->getSlot(Input, rig::dataOf(input)), nbS_OK);
    QCOMPARE(input.left(12), hex("08000000 0100 20000000 26 01"));
}

void TestBcUlvar::getParamsRetry()
{
    Engine e;
    QCOMPARE(e.trainAll(), nbS_OK);
    QByteArray one = rig::prefixed(QByteArray(1, '\0'));
    QCOMPARE(e.u->getParams(rig::dataOf(one), nullptr), nbE_INSUFFICIENT_BUFFER);
    const int32_t needed = rig::lengthWord(one);
    QVERIFY(needed > 24 + 4 + 34);
    QByteArray exact = rig::prefixed(QByteArray(needed, '\0'));
    QCOMPARE(e.u->getParams(rig::dataOf(exact), nullptr), nbS_OK);
    QCOMPARE(rig::lengthWord(exact), needed);
    QByteArray larger = rig::prefixed(QByteArray(needed + 100, '\x33'));
    QCOMPARE(e.u->getParams(rig::dataOf(larger), nullptr), nbS_OK);
    QCOMPARE(rig::lengthWord(larger), needed);
    QCOMPARE(larger.mid(4, needed), exact.mid(4));
    QCOMPARE(larger.mid(4 + needed), QByteArray(100, '\x33'));

    // The bytes are one run under a head with the converter parameter id.
    Nb::Container c;
    QDataStream s(exact.mid(4));
    QCOMPARE(c.readContainer(s, -1), needed);
    QCOMPARE(static_cast<const Nb::BlockContHead*>(c.at(0))->id(), Nb::Uuid("{30413CB1-53A7-4B62-9F01-0E430E7E3EF8}"));

    // And they load into a fresh component.
    Engine f;
    QCOMPARE(f.u->setParams(rig::dataOf(exact)), nbS_OK);
    QByteArray again = rig::prefixed(QByteArray(needed, '\0'));
    QCOMPARE(f.u->getParams(rig::dataOf(again), nullptr), nbS_OK);
    QCOMPARE(again, exact);
}

void TestBcUlvar::setSchemeRefusesWhatDoesNotHold()
{
    Engine e;
    QByteArray slot = rig::prefixed(QByteArray(64, '\0'));
    DebugCapture capture;
    // A condition that reads its own output.
    const QByteArray cycle = rig::prefixed(hex("01fa 08000000 01 06"
                                               "0100 08000000 26 01"
                                               "81ff 08000000 01 06 0000 00 01 0100"
                                               "01fa 08000000 01 06 4000 00 02 013a 813f"));
    const QByteArray garbage = rig::prefixed(hex("81ff 1800 0000"));
    const QByteArray dangling = rig::prefixed(hex("81ff 18000000 01 06 81ff 18000000 01 06 0000 00 01 0100"));
    for (const QByteArray& bad : {cycle, garbage, dangling, rig::prefixed(QByteArray())}) {
        QCOMPARE(e.load(), nbS_OK);
        const uint32_t rc = e.u->setScheme(rig::dataOf(bad));
        QVERIFY(rc != nbS_OK);
        QVERIFY(int32_t(rc) < 0);
        QCOMPARE(e.u->scheme().count(), 0);
        QCOMPARE(e.u->getSlot(0, rig::dataOf(slot)), nbE_SLOT_ID);
    }
    QCOMPARE(e.load(), nbS_OK);
    QCOMPARE(e.u->scheme().flags(), uint16_t(0x800));
}

void TestBcUlvar::setParamsRefusals()
{
    Engine e;
    DebugCapture capture;
    QCOMPARE(e.u->setParams(rig::dataOf(rig::prefixed(hex("01020304")))), nbE_CONSISTENCY_FAIL);
    QCOMPARE(e.u->setParams(rig::dataOf(rig::prefixed(QByteArray()))), nbE_CONSISTENCY_FAIL);
    // A head that announces more bytes than the buffer holds.
    Nb::Scheme s;
    rig::oneInput(s, Bits, Features);
    Nb::Container nbc;
    rig::biometricContainer(nbc, s, Bits, 0);
    QByteArray whole = rig::prefixed(nbc);
    const QByteArray cut = rig::prefixed(whole.mid(4, whole.size() - 8));
    QCOMPARE(e.u->setParams(rig::dataOf(cut)), nbE_CONSISTENCY_FAIL);
    // The length word, not the bytes behind it, bounds the read.
    QByteArray shortWord = whole;
    qToLittleEndian<int32_t>(rig::lengthWord(whole) - 1, shortWord.data());
    QCOMPARE(e.u->setParams(rig::dataOf(shortWord)), nbE_CONSISTENCY_FAIL);
    // Each refusal of the reader comes back as a consistency failure.
    Nb::Container noScheme;
    noScheme.push(Nb::BlockContHead(Nb::NilUuid, 0));
    noScheme.push(*nbc.at(1));
    static_cast<Nb::BlockContHead*>(noScheme.at(0))->setLength(noScheme.blocks(), 0, noScheme.count());
    QCOMPARE(e.u->setParams(rig::dataOf(rig::prefixed(noScheme))), nbE_CONSISTENCY_FAIL);
    QCOMPARE(e.u->scheme().count(), 0);
    QCOMPARE(e.u->setParams(rig::dataOf(whole)), nbS_OK);
    QCOMPARE(e.u->scheme().count(), 2);
    // A converter already loaded takes no second scheme without a clear.
    QCOMPARE(e.u->setParams(rig::dataOf(whole)), nbE_CONSISTENCY_FAIL);
    QCOMPARE(e.u->scheme().count(), 0);
}

void TestBcUlvar::failuresNeverReadAsSuccess()
{
    Engine e;
    DebugCapture capture;
    auto out = rig::emptyCode(Bits);
    auto fig = figure();
    QByteArray params = rig::prefixed(QByteArray(4096, '\0'));
    // Nothing loaded.
    QVERIFY(int32_t(e.u->emulate(nullptr, out.get(), nullptr)) < 0);
    QVERIFY(int32_t(e.u->test(Nb::TmE1Bio, fig.get(), Nb::ToInfinite)) < 0);
    QVERIFY(int32_t(e.u->getParams(rig::dataOf(params), nullptr)) < 0);
    // Loaded, untrained, no rows.
    QCOMPARE(e.load(), nbS_OK);
    QVERIFY(int32_t(e.u->emulate(nullptr, out.get(), nullptr)) < 0);
    QVERIFY(int32_t(e.u->test(Nb::TmE1Bio, fig.get(), Nb::ToInfinite)) < 0);
    const uint32_t untrained = e.u->train(nullptr, nullptr, e.code.get(), Nb::ToInfinite);
    QCOMPARE(untrained & 0xFFFF0000u, 0xFF810000u);
    QVERIFY(int32_t(e.u->trainSlot(Conv, Nb::TmDefault, Nb::BsTrained, Nb::BlockFlags(2), Nb::ToInfinite)) < 0);
    // Trained, then asked to emulate a sample of the wrong width.
    QCOMPARE(e.trainAll(), nbS_OK);
    rig::Synth synth(3);
    auto wide = synth.samples(synth.person(Features + 8), 1);
    QVERIFY(int32_t(e.u->setConstraint(Input, Nb::CtAny, wide.get())) < 0);
    Nb::Matrix wrongOut(1, Nb::Meta(Bits + 8, Nb::MfI1, Nb::MtDO));
    QCOMPARE(e.u->setConstraint(Input, Nb::CtAny, e.live.get()), nbS_OK);
    QVERIFY(int32_t(e.u->emulate(nullptr, &wrongOut, nullptr)) < 0);
}

void TestBcUlvar::rowCountsAndLayouts()
{
    Engine e;
    QCOMPARE(e.load(), nbS_OK);
    const Nb::Meta sample(Features, Nb::MfR32, Nb::MtC);
    const Nb::Meta code(Bits, Nb::MfI1, Nb::MtDO);
    const Nb::Meta samples[] = {sample, sample};
    const Nb::Meta codes[] = {code, code};
    Nb::Matrix twoSamples(2, 1, samples);
    Nb::Matrix twoCodes(2, 1, codes);
    // One row per input, one row of code: another count trains nothing.
    QCOMPARE(e.u->train(e.own.get(), e.alien.get(), &twoCodes, Nb::ToInfinite), 0xC0000003u);
    QCOMPARE(e.u->scheme().at(1)->state(), Nb::BsUntrained);
    QCOMPARE(e.u->train(&twoSamples, nullptr, e.code.get(), Nb::ToInfinite), 0xC0000003u);
    auto out = rig::emptyCode(Bits);
    QCOMPARE(e.u->emulate(&twoSamples, out.get(), nullptr), 0xC0000003u);
    QCOMPARE(e.u->getConstraint(Input, Nb::CtOwn, &twoSamples), 0xC0000003u);
    Nb::Matrix quality(3, Nb::Meta(1, Nb::MfR32, Nb::MtCO));
    QCOMPARE(e.u->qeval(&twoSamples, nullptr, &quality), 0xC0000003u);
    // A quality row of one MfR32 value per column, nothing else.
    QCOMPARE(e.u->qeval(e.own.get(), nullptr, &quality), nbS_OK);
    QVERIFY(std::isfinite(*reinterpret_cast<float*>(quality.at(0, 2))));
    Nb::Matrix wide(1, Nb::Meta(2, Nb::MfR32, Nb::MtCO));
    QCOMPARE(e.u->qeval(nullptr, nullptr, &wide), 0xC0000017u);
    // A row of another layout is the slot's failure.
    Nb::Matrix other(1, Nb::Meta(Features, Nb::MfR64, Nb::MtC));
    DebugCapture capture;
    QCOMPARE(e.u->setConstraint(Input, Nb::CtOwn, &other), 0xC0010017u);

    QCOMPARE(e.u->setConstraint(Input, Nb::CtOwn, e.own.get()), nbS_OK);
    Nb::Matrix back(e.own->cols(), sample);
    QCOMPARE(e.u->getConstraint(Input, Nb::CtOwn, &back), nbS_OK);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(back.at(0, 11)), Features * 4),
             QByteArray(reinterpret_cast<const char*>(e.own->at(0, 11)), Features * 4));
}

void TestBcUlvar::emulateUsesRowsSetBefore()
{
    Engine e;
    QCOMPARE(e.trainAll(), nbS_OK);
    QCOMPARE(e.u->setConstraint(Input, Nb::CtAny, e.live.get()), nbS_OK);
    auto out = rig::emptyCode(Bits);
    QCOMPARE(e.u->emulate(nullptr, out.get(), nullptr), nbS_OK);
    QCOMPARE(rig::keyOf(*out), e.key);
    // Every CtAny row was cleared after the success.
    DebugCapture capture;
    QVERIFY(int32_t(e.u->emulate(nullptr, out.get(), nullptr)) < 0);
    // The input matrix instead, and the converter named as the output.
    const uint16_t ids[] = {Conv};
    auto byId = rig::emptyCode(Bits);
    QCOMPARE(e.u->emulate(e.live.get(), byId.get(), ids), nbS_OK);
    QCOMPARE(rig::keyOf(*byId), e.key);
    // Clearing with the scheme among the parts empties it.
    QCOMPARE(e.u->clear(Nb::SchemeParts(0x3F)), nbS_OK);
    QCOMPARE(e.u->scheme().count(), 0);
    QCOMPARE(e.u->scheme().flags(), uint16_t(0));
}

QTEST_GUILESS_MAIN(TestBcUlvar)
#include "tst_bculvar.moc"

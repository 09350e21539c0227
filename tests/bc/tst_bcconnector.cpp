#include "bc/BcConnector.h"
#include "bc/BcParam.h"
#include "bc/Md5.h"

#include <cmath>
#include <cstring>
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

// Stands for a converter that cannot give outputs yet (untrained).
using Mute = StubSlot<false>;

class Factory : public EngineFactory<Nb::BtConnector> {
protected:
    Nb::Slot* converter(Nb::SlotId id) override
    {
        if (id.block() == Nb::BtNeuralConv)
            return new Mute(id, Nb::NilMeta);
        return EngineFactory::converter(id);
    }
};

std::mt19937& gen()
{
    static std::mt19937 g(20261209);
    return g;
}

std::unique_ptr<Nb::Matrix> randomBits(int32_t bits, int32_t cols = 1)
{
    auto m = std::make_unique<Nb::Matrix>(cols, bitsMeta(bits));
    for (int32_t c = 0; c < cols; ++c)
        for (int32_t i = 0; i < bitsMeta(bits).size(); ++i)
            m->at(0, c)[i] = uint8_t(gen()());
    return m;
}

// Two bit-vector inputs joined by a connector.
struct Rig {
    Rig(int32_t a, int32_t b, int32_t code, uint16_t flags = 0, Nb::BlockState state = Nb::BsUntrained)
        : scheme(&factory)
    {
        scheme.push(Nb::StIn, bitsMeta(a)).push(Nb::StIn, bitsMeta(b));
        scheme.push(Nb::Slot(Nb::SlotId::conv(Nb::BtConnector, 1), bitsMeta(code),
                             Nb::SlotIds{scheme.slotId(0), scheme.slotId(1)}, Nb::BlockFlags(flags), state));
        scheme.setOut(2);
        in0 = dynamic_cast<BcSlot*>(scheme.at(0));
        in1 = dynamic_cast<BcSlot*>(scheme.at(1));
        conn = dynamic_cast<BcConnector*>(scheme.at(2));
    }
    QByteArray emulate(const Nb::Matrix& x0, const Nb::Matrix& x1)
    {
        in0->set(Nb::CtAny, Row(&x0, 0));
        in1->set(Nb::CtAny, Row(&x1, 0));
        conn->clearConstraint(Nb::CtAny);
        if (!conn->emulate(Nb::CtAny, Nb::CtAny, true))
            return QByteArray();
        return cell(conn->constraint(Nb::CtAny));
    }
    QByteArray params() const
    {
        Nb::Container c;
        if (conn->writeParams(c, nullptr, nullptr) != 1)
            return QByteArray();
        return QByteArray(reinterpret_cast<const char*>(c.at(0)->data()), c.at(0)->size());
    }

    Factory factory;
    Nb::Scheme scheme;
    BcSlot* in0 = nullptr;
    BcSlot* in1 = nullptr;
    BcConnector* conn = nullptr;
};

} // namespace

class TestBcConnector : public QObject {
    Q_OBJECT
private slots:
    void validation_data();
    void validation();
    void validationOfLinksAndState();
    void modeFromInputs();
    void inputsWithoutOutputs();
    void digestBindsCodeToBits();
    void digestWithRandomTargetsOrCode();
    void digestParameterBlock();
    void joinAndSplit();
    void flagsAndStates();
    void testFigures();
    void hostileParameterBlocks();
};

void TestBcConnector::validation_data()
{
    QTest::addColumn<int>("a");
    QTest::addColumn<int>("b");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("flags");
    QTest::addColumn<int>("error");
    QTest::newRow("sound") << 16 << 16 << 160 << int(Nb::MfI1) << 0x60 << 0;
    QTest::newRow("code of 20 bits") << 16 << 16 << 20 << int(Nb::MfI1) << 0 << int(Nb::EcMeta);
    QTest::newRow("code of 256 bytes") << 16 << 16 << 2048 << int(Nb::MfI1) << 0 << int(Nb::EcMeta);
    QTest::newRow("input of 12 bits") << 12 << 16 << 160 << int(Nb::MfI1) << 0 << int(Nb::EcMeta);
    QTest::newRow("real code") << 16 << 16 << 160 << int(Nb::MfR32) << 0 << int(Nb::EcCScheme);
    QTest::newRow("flag 0x80") << 16 << 16 << 160 << int(Nb::MfI1) << 0x80 << int(Nb::EcBlockFlag);
}

void TestBcConnector::validation()
{
    QFETCH(int, a);
    QFETCH(int, b);
    QFETCH(int, code);
    QFETCH(int, format);
    QFETCH(int, flags);
    QFETCH(int, error);
    Factory factory;
    Nb::Scheme s(&factory);
    s.push(Nb::StIn, bitsMeta(a)).push(Nb::StIn, bitsMeta(b));
    DebugCapture capture;
    s.push(Nb::BtConnector, Nb::Meta(code, Nb::MetaFormat(format), Nb::MtDO), {Nb::StIn, Nb::StIn}, {0, 1},
           Nb::BlockFlags(flags));
    BcSlot* conn = dynamic_cast<BcSlot*>(s.at(2));
    s.setStatus(Nb::ScOk);
    QCOMPARE(conn->validate(), error == 0);
    QCOMPARE(s.status(), error ? slotError(conn, Nb::ErrorCode(error)) : Nb::ScOk);

    // One input is not a join.
    Nb::Scheme one(&factory);
    one.push(Nb::StIn, bitsMeta(16));
    one.push(Nb::BtConnector, bitsMeta(16), {Nb::StIn}, {0}, Nb::BlockFlags(0));
    BcSlot* lone = dynamic_cast<BcSlot*>(one.at(1));
    QVERIFY(!lone->validate());
    QCOMPARE(one.status(), slotError(lone, Nb::EcCScheme));
}

void TestBcConnector::validationOfLinksAndState()
{
    Factory factory;
    DebugCapture capture;
    // A special output may not feed the binding.
    Nb::Scheme out(&factory);
    out.push(Nb::StIn, bitsMeta(16)).push(Nb::StSpOut, bitsMeta(16)).push(Nb::StIn, bitsMeta(16));
    out.push(Nb::BtConnector, bitsMeta(160), {Nb::StIn, Nb::StSpOut, Nb::StIn}, {0, 1, 2}, Nb::BlockFlags(0));
    BcSlot* spOut = dynamic_cast<BcSlot*>(out.at(3));
    out.setStatus(Nb::ScOk);
    QVERIFY(!spOut->validate());
    QCOMPARE(out.status(), slotError(spOut, Nb::EcCScheme));

    // Special inputs are bound like plain ones, in link order, and count
    // towards the join.
    Nb::Scheme sp(&factory);
    sp.push(Nb::StSpIn, bitsMeta(8)).push(Nb::StIn, bitsMeta(8));
    sp.push(Nb::BtConnector, bitsMeta(16), {Nb::StSpIn, Nb::StIn}, {0, 1}, Nb::BlockFlags(0));
    BcConnector* conn = dynamic_cast<BcConnector*>(sp.at(2));
    sp.setStatus(Nb::ScOk);
    QVERIFY(conn->validate());
    QCOMPARE(conn->mode(), uint32_t(BcConnector::ModeJoin));
    auto a = randomBits(8), b = randomBits(8);
    dynamic_cast<BcSlot*>(sp.at(0))->set(Nb::CtOwn, Row(a.get(), 0));
    dynamic_cast<BcSlot*>(sp.at(1))->set(Nb::CtOwn, Row(b.get(), 0));
    QVERIFY(conn->train(Nb::TmDefault, Nb::BsTrained, Nb::BlockFlags(0)));
    QCOMPARE(cell(conn->constraint(Nb::CtOwn)), cell(*a) + cell(*b));

    Rig partly(16, 16, 160, 0, Nb::BsPartially);
    partly.scheme.setStatus(Nb::ScOk);
    QVERIFY(!partly.conn->validate());
    QCOMPARE(partly.scheme.status(), slotError(partly.conn, Nb::EcBlockState));
}

void TestBcConnector::inputsWithoutOutputs()
{
    Factory factory;
    Nb::Scheme s(&factory);
    s.push(Nb::StIn, Nb::Meta(4, Nb::MfR32, Nb::MtC));
    s.push(Nb::BtNeuralConv, bitsMeta(16), {Nb::StIn}, {0}, Nb::BlockFlags(0));
    s.push(Nb::BtNeuralConv, bitsMeta(16), {Nb::StIn}, {0}, Nb::BlockFlags(0));
    s.push(Nb::BtConnector, bitsMeta(160), {Nb::StIn, Nb::StIn}, {1, 2}, Nb::BlockFlags(0));
    BcSlot* c1 = dynamic_cast<BcSlot*>(s.at(1));
    BcSlot* c2 = dynamic_cast<BcSlot*>(s.at(2));
    BcConnector* conn = dynamic_cast<BcConnector*>(s.at(3));
    QVERIFY(c1 && c2 && conn);
    QCOMPARE(conn->mode(), uint32_t(BcConnector::ModeDigest));
    DebugCapture capture;
    // Without targets the converters give nothing to bind.
    auto code = randomBits(160);
    conn->set(Nb::CtOwn, Row(code.get(), 0));
    QVERIFY(!conn->train(Nb::TmDefault, Nb::BsTrained, Nb::BlockFlags(0)));
    QCOMPARE(s.status(), slotError(conn, Nb::EcNoDataOwn));
    QCOMPARE(conn->state(), Nb::BsUntrained);

    auto t1 = randomBits(16), t2 = randomBits(16);
    c1->set(Nb::CtOwn, Row(t1.get(), 0));
    c2->set(Nb::CtOwn, Row(t2.get(), 0));
    QVERIFY(conn->train(Nb::TmDefault, Nb::BsTrained, Nb::BlockFlags(0)));
    // A converter that gives no outputs makes the extraction fail, never a
    // code made of nothing.
    for (bool deep : {true, false}) {
        s.setStatus(Nb::ScOk);
        QVERIFY(!conn->emulate(Nb::CtAny, Nb::CtAny, deep));
        QCOMPARE(s.status(), slotError(conn, Nb::EcNoData));
        QCOMPARE(conn->constraintCols(Nb::CtAny), 0);
    }
    // One input with outputs is not enough either.
    c1->set(Nb::CtAny, Row(t1.get(), 0));
    QVERIFY(!conn->emulate(Nb::CtAny, Nb::CtAny, true));
    QCOMPARE(conn->constraintCols(Nb::CtAny), 0);
    c2->set(Nb::CtAny, Row(t2.get(), 0));
    QVERIFY(conn->emulate(Nb::CtAny, Nb::CtAny, true));
    QCOMPARE(cell(conn->constraint(Nb::CtAny)), cell(*code));
}

void TestBcConnector::modeFromInputs()
{
    QCOMPARE(Rig(8, 8, 16).conn->mode(), uint32_t(BcConnector::ModeJoin));
    QCOMPARE(Rig(16, 16, 160).conn->mode(), uint32_t(BcConnector::ModeDigest));
    // A connector outside a scheme has no mode and trains without work.
    BcConnector loose(Nb::SlotId::conv(Nb::BtConnector, 1), bitsMeta(16));
    QCOMPARE(loose.mode(), uint32_t(BcConnector::ModeNone));
    QVERIFY(loose.train(Nb::TmDefault, Nb::BsTrained, Nb::BlockFlags(0)));
    QCOMPARE(loose.state(), Nb::BsTrained);
}

void TestBcConnector::digestBindsCodeToBits()
{
    Rig rig(16, 16, 160);
    auto t0 = randomBits(16), t1 = randomBits(16), code = randomBits(160);
    rig.in0->set(Nb::CtOwn, Row(t0.get(), 0));
    rig.in1->set(Nb::CtOwn, Row(t1.get(), 0));
    rig.conn->set(Nb::CtOwn, Row(code.get(), 0));
    QVERIFY(rig.conn->train(Nb::TmDefault, Nb::BsTrained, Nb::BlockFlags(0)));
    QCOMPARE(rig.conn->state(), Nb::BsTrained);

    // mask = MD5(bits of input 0, bits of input 1, salt) repeated, XOR code.
    const QByteArray salt = cell(rig.conn->salt());
    QCOMPARE(salt.size(), 16);
    const QByteArray hashed = cell(*t0) + cell(*t1) + salt;
    uint8_t d[16];
    Md5::digest(hashed.constData(), uint32_t(hashed.size()), d);
    const QByteArray mask = cell(rig.conn->mask());
    const QByteArray wanted = cell(*code);
    QCOMPARE(mask.size(), 20);
    for (int b = 0; b < 20; ++b)
        QCOMPARE(uint8_t(mask[b]), uint8_t(d[b % 16] ^ uint8_t(wanted[b])));

    QCOMPARE(rig.emulate(*t0, *t1), wanted);
    // One bit off: a different key, still no failure.
    t1->at(0, 0)[1] ^= 0x10;
    const QByteArray other = rig.emulate(*t0, *t1);
    QCOMPARE(other.size(), 20);
    QVERIFY(other != wanted);
    const QByteArray flipped = cell(*t0) + cell(*t1) + salt;
    uint8_t e[16];
    Md5::digest(flipped.constData(), uint32_t(flipped.size()), e);
    for (int b = 0; b < 20; ++b)
        QCOMPARE(uint8_t(other[b]), uint8_t(e[b % 16] ^ d[b % 16] ^ uint8_t(wanted[b])));
    // Cached until the row is cleared.
    QVERIFY(rig.conn->emulate(Nb::CtAny, Nb::CtAny, true));
    QCOMPARE(cell(rig.conn->constraint(Nb::CtAny)), other);
}

void TestBcConnector::digestWithRandomTargetsOrCode()
{
    // Code given, the inputs get random targets to learn.
    Rig given(16, 16, 160, 0x60);
    auto code = randomBits(160);
    given.conn->set(Nb::CtOwn, Row(code.get(), 0));
    QVERIFY(given.conn->train(Nb::TmWithoutFlags, Nb::BsTrained, Nb::BlockFlags(0)));
    QCOMPARE(given.in0->constraintCols(Nb::CtOwn), 1);
    QCOMPARE(given.in1->constraintCols(Nb::CtOwn), 1);
    Nb::Matrix t0(1, bitsMeta(16)), t1(1, bitsMeta(16));
    Row(&t0, 0).copy(given.in0->constraint(Nb::CtOwn));
    Row(&t1, 0).copy(given.in1->constraint(Nb::CtOwn));
    QCOMPARE(given.emulate(t0, t1), cell(*code));

    // Targets given, the engine makes up the code.
    Rig made(16, 16, 160, 0x20);
    auto a = randomBits(16), b = randomBits(16);
    made.in0->set(Nb::CtOwn, Row(a.get(), 0));
    made.in1->set(Nb::CtOwn, Row(b.get(), 0));
    QVERIFY(made.conn->train(Nb::TmWithoutFlags, Nb::BsTrained, Nb::BlockFlags(0)));
    QCOMPARE(made.conn->constraintCols(Nb::CtOwn), 1);
    QCOMPARE(made.emulate(*a, *b), cell(made.conn->constraint(Nb::CtOwn)));

    // Without a code nor targets there is nothing to bind.
    Rig none(16, 16, 160, 0x40);
    DebugCapture capture;
    QVERIFY(!none.conn->train(Nb::TmWithoutFlags, Nb::BsTrained, Nb::BlockFlags(0)));
    QCOMPARE(none.scheme.status(), slotError(none.conn, Nb::EcNoDataOwn));
    QCOMPARE(none.conn->state(), Nb::BsUntrained);
}

void TestBcConnector::digestParameterBlock()
{
    Rig rig(16, 16, 160);
    auto t0 = randomBits(16), t1 = randomBits(16), code = randomBits(160);
    rig.in0->set(Nb::CtOwn, Row(t0.get(), 0));
    rig.in1->set(Nb::CtOwn, Row(t1.get(), 0));
    rig.conn->set(Nb::CtOwn, Row(code.get(), 0));
    Nb::Container untrained;
    QCOMPARE(rig.conn->writeParams(untrained, nullptr, nullptr), 0);
    QVERIFY(untrained.isEmpty());
    QVERIFY(rig.conn->train(Nb::TmDefault, Nb::BsTrained, Nb::BlockFlags(0)));

    Nb::Container c;
    QCOMPARE(rig.conn->writeParams(c, nullptr, nullptr), 1);
    const Nb::Block& b = *c.at(0);
    QCOMPARE(b.type(), Nb::BtConnector);
    QCOMPARE(b.size(), 38);
    QCOMPARE(b.header(), int32_t(0x79000026));
    const QByteArray data(reinterpret_cast<const char*>(b.data()), b.size());
    QCOMPARE(data, QByteArray(1, char(16)) + cell(rig.conn->salt()) + QByteArray(1, char(20)) +
                       cell(rig.conn->mask()));

    Rig loaded(16, 16, 160, 0, Nb::BsTrained);
    QCOMPARE(loaded.conn->readParams(c, 0, nullptr), 1);
    QCOMPARE(loaded.params(), data);
    QCOMPARE(loaded.emulate(*t0, *t1), cell(*code));
}

void TestBcConnector::joinAndSplit()
{
    // Split: the code is cut into the inputs' targets.
    Rig rig(8, 8, 16, 0x60);
    QCOMPARE(rig.conn->mode(), uint32_t(BcConnector::ModeJoin));
    auto code = randomBits(16);
    rig.conn->set(Nb::CtOwn, Row(code.get(), 0));
    QVERIFY(rig.conn->train(Nb::TmWithoutFlags, Nb::BsTrained, Nb::BlockFlags(0)));
    QCOMPARE(cell(rig.in0->constraint(Nb::CtOwn)), cell(*code).left(1));
    QCOMPARE(cell(rig.in1->constraint(Nb::CtOwn)), cell(*code).mid(1));
    auto a = randomBits(8, 3), b = randomBits(8, 3);
    rig.in0->set(Nb::CtAny, Row(a.get(), 0));
    rig.in1->set(Nb::CtAny, Row(b.get(), 0));
    QVERIFY(rig.conn->emulate(Nb::CtAny, Nb::CtAny, true));
    QCOMPARE(rig.conn->constraintCols(Nb::CtAny), 3);
    for (int32_t j = 0; j < 3; ++j)
        QCOMPARE(cell(rig.conn->constraint(Nb::CtAny), j), cell(*a, j) + cell(*b, j));

    // What stored containers hold: an empty block 121.
    Nb::Container c;
    QCOMPARE(rig.conn->writeParams(c, nullptr, nullptr), 1);
    QCOMPARE(c.at(0)->header(), int32_t(0x79000000));
    QCOMPARE(c.at(0)->byteSize(), 4);
    Rig loaded(8, 8, 16, 0x60, Nb::BsTrained);
    QCOMPARE(loaded.conn->readParams(c, 0, nullptr), 1);
    // A join reads nothing of its block, whatever it holds; only the type counts.
    QCOMPARE(loaded.conn->readParams(blockOf(Nb::BtConnector, QByteArray(3, '\x7f')), 0, nullptr), 1);
    QCOMPARE(loaded.scheme.status(), Nb::ScOk);
    QCOMPARE(loaded.emulate(*a, *b), cell(*a) + cell(*b));
    DebugCapture capture;
    QCOMPARE(loaded.conn->readParams(blockOf(Nb::BtNeuralConv, QByteArray()), 0, nullptr), -1);
    QCOMPARE(loaded.scheme.status(), slotError(loaded.conn, Nb::EcBlockType));

    // Join: the code follows from the inputs' targets.
    Rig joined(8, 8, 16);
    joined.in0->set(Nb::CtOwn, Row(a.get(), 0));
    joined.in1->set(Nb::CtOwn, Row(b.get(), 0));
    QVERIFY(joined.conn->train(Nb::TmDefault, Nb::BsTrained, Nb::BlockFlags(0)));
    QCOMPARE(joined.conn->constraintCols(Nb::CtOwn), 3);
    QCOMPARE(cell(joined.conn->constraint(Nb::CtOwn), 2), cell(*a, 2) + cell(*b, 2));
}

void TestBcConnector::flagsAndStates()
{
    Rig rig(8, 8, 16, 0x40);
    DebugCapture capture;
    auto a = randomBits(8), b = randomBits(8);
    QCOMPARE(rig.emulate(*a, *b), QByteArray());
    QCOMPARE(rig.scheme.status(), slotError(rig.conn, Nb::EcBlockState));
    QVERIFY(!rig.conn->train(Nb::TmDefault, Nb::BsUntrained, Nb::BlockFlags(0x40)));
    QCOMPARE(rig.scheme.status(), slotError(rig.conn, Nb::EcBlockState));
    QVERIFY(!rig.conn->train(Nb::TmDefault, Nb::BsTrained, Nb::BlockFlags(0xC0)));
    QCOMPARE(rig.scheme.status(), slotError(rig.conn, Nb::EcBlockFlag));
    QVERIFY(!rig.conn->train(Nb::TmDefault, Nb::BsTrained, Nb::BlockFlags(0x44)));
    QCOMPARE(rig.scheme.status(), slotError(rig.conn, Nb::EcBlockFlag));

    auto code = randomBits(16);
    rig.conn->set(Nb::CtOwn, Row(code.get(), 0));
    QVERIFY(rig.conn->train(Nb::TmWithoutFlags, Nb::BsTrained, Nb::BlockFlags(0)));
    QVERIFY(rig.conn->train(Nb::TmCheckOnly, Nb::BsTrained, Nb::BlockFlags(0x44)));
    QCOMPARE(uint16_t(rig.conn->flags()), uint16_t(0x40));
    QVERIFY(rig.conn->train(Nb::TmDefault, Nb::BsTrained, Nb::BlockFlags(0x44)));
    QCOMPARE(uint16_t(rig.conn->flags()), uint16_t(0x44));
    QVERIFY(rig.conn->reset());
    QCOMPARE(rig.conn->state(), Nb::BsUntrained);
}

void TestBcConnector::testFigures()
{
    Rig rig(16, 16, 160);
    DebugCapture capture;
    QVERIFY(!rig.conn->test());
    QCOMPARE(rig.conn->constraintCols(Nb::CtTst), 0);
    setFigures(rig.in0, 0.1f, 1e-30f);
    setFigures(rig.in1, 0.2f, 1e-30f);
    QVERIFY(rig.conn->test());
    const float* f = rig.conn->constraint(Nb::CtTst).r32(0);
    QCOMPARE(f[0], 0.0f);
    QVERIFY(std::fabs(f[Nb::TmE1Bio] - 0.28f) < 1e-6f);
    for (int i = Nb::TmE2Bio; i <= Nb::TmE2Conv; ++i)
        QCOMPARE(f[i], std::ldexp(1.0f, -128));

    Rig small(8, 16, 16);
    setFigures(small.in0, 0.0f, 0.001f);
    setFigures(small.in1, 0.0f, 0.001f);
    QVERIFY(small.conn->test());
    QCOMPARE(small.conn->constraint(Nb::CtTst).r32(0)[Nb::TmE2Bio], std::ldexp(1.0f, -16));
    QCOMPARE(small.conn->constraint(Nb::CtTst).r32(0)[Nb::TmE1Bio], 0.0f);
}

void TestBcConnector::hostileParameterBlocks()
{
    Rig rig(16, 16, 160);
    auto t0 = randomBits(16), t1 = randomBits(16), code = randomBits(160);
    rig.in0->set(Nb::CtOwn, Row(t0.get(), 0));
    rig.in1->set(Nb::CtOwn, Row(t1.get(), 0));
    rig.conn->set(Nb::CtOwn, Row(code.get(), 0));
    QVERIFY(rig.conn->train(Nb::TmDefault, Nb::BsTrained, Nb::BlockFlags(0)));
    const QByteArray good = rig.params();
    const QByteArray salt = good.mid(1, 16);
    const QByteArray mask = good.mid(18);

    Rig target(16, 16, 160, 0, Nb::BsTrained);
    QCOMPARE(target.conn->readParams(blockOf(Nb::BtConnector, good), 0, nullptr), 1);
    struct Case {
        const char* name;
        Nb::BlockType type;
        QByteArray data;
        Nb::ErrorCode error;
    };
    const QList<Case> cases = {
        {"condition block", Nb::BtCondition, good, Nb::EcBlockType},
        {"layer block", Nb::BtNeuralConv, good, Nb::EcBlockType},
        {"mask one byte short", Nb::BtConnector, QByteArray(1, char(16)) + salt + QByteArray(1, char(19)) + mask.left(19),
         Nb::EcMeta},
        {"mask one byte long", Nb::BtConnector, QByteArray(1, char(16)) + salt + QByteArray(1, char(21)) + mask + "x",
         Nb::EcMeta},
        {"no salt", Nb::BtConnector, QByteArray(1, char(0)) + QByteArray(1, char(20)) + mask, Nb::EcMeta},
        {"trailing byte", Nb::BtConnector, good + "x", Nb::EcConsistencyFail},
        {"mask length past the end", Nb::BtConnector, good.left(17) + QByteArray(1, char(200)) + mask,
         Nb::EcConsistencyFail},
        {"empty", Nb::BtConnector, QByteArray(), Nb::EcConsistencyFail},
    };
    DebugCapture capture;
    for (const Case& c : cases) {
        target.scheme.setStatus(Nb::ScOk);
        QVERIFY2(target.conn->readParams(blockOf(c.type, c.data), 0, nullptr) == -1, c.name);
        QVERIFY2(target.scheme.status() == slotError(target.conn, c.error), c.name);
    }
    for (int n = 0; n < good.size(); ++n)
        QCOMPARE(target.conn->readParams(blockOf(Nb::BtConnector, good.left(n)), 0, nullptr), -1);
    QCOMPARE(target.conn->readParams(Nb::Container(), 0, nullptr), -1);
    // What was loaded before the refused blocks still stands.
    QCOMPARE(target.params(), good);
    QCOMPARE(target.emulate(*t0, *t1), cell(*code));
}

QTEST_GUILESS_MAIN(TestBcConnector)
#include "tst_bcconnector.moc"

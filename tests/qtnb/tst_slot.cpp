#include "DebugCapture.h"
#include "FailingDevice.h"
#include "qtnb/Scheme.h"

#include <QtTest>

using namespace Nb;

namespace {

const Meta kIn(256, MfR32, MtC);
const Meta kCode(128, MfI1, MtDO);

QByteArray written(const Slot& slot, bool asResult, int32_t* result = nullptr)
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    const int32_t n = slot.write(stream, asResult);
    if (result)
        *result = n;
    return bytes;
}

// Reads a record whose id has already been taken off the front.
int32_t readBack(Slot& slot, const QByteArray& record, bool asResult, int32_t available = -2)
{
    QDataStream stream(record.mid(2));
    const SlotId id(uint16_t(uint8_t(record[0]) | uint8_t(record[1]) << 8));
    return slot.read(id, stream, available == -2 ? int32_t(record.size() - 2) : available, asResult);
}

SlotIds ids(std::initializer_list<uint16_t> values)
{
    SlotIds out;
    for (uint16_t v : values)
        out.append(SlotId(v));
    return out;
}

// A slot whose lists are set directly, as a hostile or buggy caller could.
struct RawSlot : Slot {
    RawSlot(SlotId id, const SlotIds& links, const SlotIds& nested) : Slot(id, kCode)
    {
        m_links = links;
        m_nestedIds = nested;
    }
};

} // namespace

class TestSlot : public QObject {
    Q_OBJECT
private slots:
    void recordBytes();
    void recordRoundTrip();
    void readFailures();
    void unwritableRecords();
    void streamFailure();
    void validatePlain();
    void validateConverters();
    void validateNested();
    void statusWords();
    void constructorLimits();
    void countsAndFind();
    void dump();
};

void TestSlot::recordBytes()
{
    int32_t n = 0;
    const Slot plain(SlotId(0x0001), kIn);
    QCOMPARE(written(plain, false, &n), QByteArray::fromHex("0100" "00010000" "26" "01"));
    QCOMPARE(n, 8);
    QCOMPARE(plain.size(false), 8);

    const Slot conv(SlotId(0xFF81), kCode, ids({0x0001, 0x4002, 0x8003}), BlockFlags(0x1234), BsTrained);
    QCOMPARE(written(conv, false, &n),
             QByteArray::fromHex("81ff" "80000000" "01" "06" "3412" "01" "03" "0100" "0240" "0380"));
    QCOMPARE(n, 18);
    QCOMPARE(conv.size(false), 18);
    // the result form stops after the meta, whatever the kind
    QCOMPARE(written(conv, true, &n), QByteArray::fromHex("81ff" "80000000" "01" "06"));
    QCOMPARE(n, 8);
    QCOMPARE(conv.size(true), 8);

    // nested converter: the count byte counts both lists, ids alternate
    Scheme inner;
    inner.push(StIn, kIn).push(StSpOut, kCode);
    const Slot nested(SlotId(0xC001), kCode, ids({0x0001, 0x8002}), ids({0x0001, 0x8002}), BlockFlags(0),
                      BsUntrained, &inner);
    QCOMPARE(written(nested, false, &n),
             QByteArray::fromHex("01c0" "80000000" "01" "06" "0000" "00" "04" "0100" "0100" "0280" "0280"));
    QCOMPARE(n, 20);
    QCOMPARE(nested.size(false), 20);
}

void TestSlot::recordRoundTrip()
{
    const Slot conv(SlotId(0xFC81), kCode, ids({0x0001, 0x8002}), BlockFlags(7), BsPartially);
    Slot back;
    QCOMPARE(readBack(back, written(conv, false), false), 14);
    QCOMPARE(back.id(), SlotId(0xFC81));
    QVERIFY(back.meta() == kCode);
    QCOMPARE(uint16_t(back.flags()), uint16_t(7));
    QCOMPARE(back.state(), BsPartially);
    QCOMPARE(back.links(), ids({0x0001, 0x8002}));

    const Slot nested(SlotId(0xC003), kCode, ids({0x0001, 0x4005}), ids({0x0002, 0x4001}), BlockFlags(0),
                      BsUntrained, nullptr);
    Slot nback;
    QCOMPARE(readBack(nback, written(nested, false), false), 18);
    QCOMPARE(nback.links(), ids({0x0001, 0x4005}));
    QCOMPARE(nback.nestedIds(), ids({0x0002, 0x4001}));

    // a converter read in the result form keeps its flags, state and lists
    Slot partial(SlotId(0xFF81), NilMeta, ids({0x0009}), BlockFlags(3), BsTrained);
    QCOMPARE(readBack(partial, written(conv, false), true), 6);
    QVERIFY(partial.meta() == kCode);
    QCOMPARE(partial.links(), ids({0x0009}));
    QCOMPARE(uint16_t(partial.flags()), uint16_t(3));
}

void TestSlot::readFailures()
{
    Scheme owner;
    owner.push(StIn, kIn);
    const QByteArray conv =
        written(Slot(SlotId(0xFF81), kCode, ids({1, 2, 3}), BlockFlags(0), BsUntrained), false);

    struct Case {
        const char* name;
        QByteArray record;
        int32_t available;
        Status status;
        int consumed;
    };
    QByteArray count255 = conv;
    count255[11] = char(0xFF);
    QByteArray oddNested = written(Slot(SlotId(0xC001), kCode, ids({1}), ids({1}), BlockFlags(0),
                                        BsUntrained, nullptr),
                                   false);
    oddNested[11] = char(3);
    const Case cases[] = {
        {"available 5", conv, 5, slotStatus(0xFF81, EcIo), 0},
        {"count beyond available", conv, 15, slotStatus(0xFF81, EcIo), 10},
        {"truncated stream", conv.left(13), 100, slotStatus(0xFF81, EcIo), 11},
        {"meta cut", conv.left(5), 100, slotStatus(0xFF81, EcIo), 3},
        {"count 255", count255, 100, ScOk, 10},
        {"odd count of a nested converter", oddNested, 100, slotStatus(0xC001, EcIo), 10},
    };
    for (const Case& c : cases) {
        owner.setStatus(ScOk);
        Slot* slot = owner.at(0);
        QDataStream stream(c.record.mid(2));
        const SlotId id(uint16_t(uint8_t(c.record[0]) | uint8_t(c.record[1]) << 8));
        QCOMPARE(slot->read(id, stream, c.available, false), -1);
        QVERIFY2(owner.status() == c.status, c.name);
        QVERIFY2(stream.device()->pos() == c.consumed, c.name);
    }
}

void TestSlot::unwritableRecords()
{
    SlotIds many;
    for (int i = 0; i < 255; ++i)
        many.append(SlotId(1));
    struct Case {
        const char* name;
        SlotId id;
        SlotIds links;
        SlotIds nested;
    };
    const Case cases[] = {
        {"255 links", SlotId(0xFF81), many, {}},
        {"nested ids on a plain converter", SlotId(0xFF81), ids({1}), ids({1})},
        {"unpaired nested lists", SlotId(0xC001), ids({1, 1}), ids({1})},
        {"128 pairs", SlotId(0xC001), many.mid(0, 128), many.mid(0, 128)},
    };
    for (const Case& c : cases) {
        Scheme owner;
        RawSlot slot(c.id, c.links, c.nested);
        slot.setOwner(&owner);
        owner.setStatus(ScOk);
        QByteArray bytes;
        QDataStream stream(&bytes, QIODevice::WriteOnly);
        QVERIFY2(slot.write(stream, false) == -1, c.name);
        QVERIFY2(bytes.isEmpty(), c.name);
        QVERIFY2(owner.status() == slotStatus(c.id, EcCScheme), c.name);
        // the result form holds no ids and is always faithful
        QVERIFY2(slot.write(stream, true) == 8, c.name);
        slot.setOwner(nullptr);
    }
    // 254 ids in all is the most a record holds
    RawSlot full(SlotId(0xC001), many.mid(0, 127), many.mid(0, 127));
    int32_t n = 0;
    QCOMPARE(written(full, false, &n).size(), 12 + 4 * 127);
    QCOMPARE(n, 12 + 4 * 127);
}

void TestSlot::streamFailure()
{
    Scheme owner;
    owner.push(StIn, kIn);
    owner.setStatus(ScOk);
    FailingDevice device(5);
    device.open(QIODevice::WriteOnly);
    QDataStream stream(&device);
    QCOMPARE(owner.at(0)->write(stream, false), -1);
    QCOMPARE(owner.status(), slotStatus(0x0001, EcIo));
    // without an owner the failure is only the result
    FailingDevice device2(0);
    device2.open(QIODevice::WriteOnly);
    QDataStream stream2(&device2);
    QCOMPARE(Slot(SlotId(1), kIn).write(stream2, false), -1);
}

void TestSlot::validatePlain()
{
    // a plain slot carries nothing of a converter
    Slot withLinks(SlotId(0x0002), kIn, ids({1}), BlockFlags(0), BsUntrained);
    QVERIFY(!withLinks.validate());
    Slot withFlags(SlotId(0x0002), kIn, {}, BlockFlags(1), BsUntrained);
    QVERIFY(!withFlags.validate());
    Slot withState(SlotId(0x0002), kIn, {}, BlockFlags(0), BsTrained);
    QVERIFY(!withState.validate());
    QVERIFY(Slot(SlotId(0x0002), kIn).validate());

    // a special output written by two links
    DebugCapture capture;
    Scheme scheme;
    scheme.push(StIn, kIn).push(StSpOut, kCode);
    scheme.push(BtNeuralConv, kCode, {StIn, StSpOut}, {0, 1}, BlockFlags(0));
    QCOMPARE(scheme.status(), ScOk);
    scheme.push(BtNeuralConv, kCode, {StIn, StSpOut}, {0, 1}, BlockFlags(0));
    scheme.setOut(3);
    QVERIFY(!scheme.validate());
    QCOMPARE(scheme.status(), slotStatus(0x8002, EcCScheme));
}

void TestSlot::validateConverters()
{
    DebugCapture capture;
    Scheme scheme;
    scheme.push(StIn, kIn).push(StSpOut, kCode);
    struct Case {
        const char* name;
        SlotIds links;
        bool valid;
    };
    const Case cases[] = {
        {"reads an input", ids({0x0001}), true},
        {"writes a special output", ids({0x0001, 0x8002}), true},
        {"links a converter", ids({0xC001}), false},
        {"special output link on an input", ids({0x8001}), false},
        {"link to no slot", ids({0x0009}), false},
    };
    for (const Case& c : cases) {
        Slot conv(SlotId(0xFF81), kCode, c.links, BlockFlags(0), BsUntrained);
        QVERIFY2(conv.setOwner(&scheme) == c.valid, c.name);
        conv.setOwner(nullptr);
    }
    // a converter of a real block type has no nested part
    Slot nestedIds(SlotId(0xFF81), kCode, ids({1}), ids({1}), BlockFlags(0), BsUntrained, nullptr);
    QVERIFY(!nestedIds.validate());
    QVERIFY(!nestedIds.setNested(&scheme));
    QVERIFY(!Slot(SlotId(1), kIn).setNested(&scheme));

    // nested converter: kinds of each pair must agree, a nested converter
    // counting as a special output
    QVERIFY(Slot(SlotId(0xC001), kCode, ids({0x8002}), ids({0xFF81}), BlockFlags(0), BsUntrained, nullptr)
                .validate());
    QVERIFY(!Slot(SlotId(0xC001), kCode, ids({0x0001}), ids({0x4001}), BlockFlags(0), BsUntrained, nullptr)
                 .validate());
}

void TestSlot::validateNested()
{
    DebugCapture capture;
    Scheme inner;
    inner.push(StIn, kIn).push(BtNeuralConv, kCode, {StIn}, {0}, BlockFlags(0)).setOut(1);
    Scheme outer;
    outer.push(StIn, kIn).push(StSpOut, kCode);

    Slot good(SlotId(0xC001), kCode, ids({0x0001, 0x8002}), ids({0x0001, 0xFF81}), BlockFlags(0), BsUntrained,
              &inner);
    QCOMPARE(good.nested(), &inner);
    QVERIFY(good.setOwner(&outer));
    QVERIFY(good.validateNested());

    // an id the nested scheme lacks, in all 16 bits
    Slot missing(SlotId(0xC001), kCode, ids({0x0001}), ids({0x4001}), BlockFlags(0), BsUntrained, nullptr);
    QVERIFY(!missing.setNested(&inner));
    // Meta of the two sides must agree
    Scheme other;
    other.push(StIn, Meta(480, MfR32, MtC));
    Slot mismatch(SlotId(0xC001), kCode, ids({0x0001}), ids({0x0001}), BlockFlags(0), BsUntrained, &other);
    QVERIFY(mismatch.validateNested());
    mismatch.setOwner(&outer);
    outer.setStatus(ScOk);
    QVERIFY(!mismatch.validateNested());
    QCOMPARE(outer.status(), slotStatus(0xC001, EcCScheme));
    good.setOwner(nullptr);
    mismatch.setOwner(nullptr);
}

void TestSlot::statusWords()
{
    Scheme scheme;
    scheme.push(StIn, kIn).push(StIn, kIn).push(StIn, kIn);
    QVERIFY(!scheme.at(2)->error(EcIo));
    QCOMPARE(uint32_t(scheme.status()), 0xC0030012u);
    QCOMPARE(uint32_t(scheme.at(2)->status()), 0xC0030012u);
    scheme.push(BtNeuralConv, kCode, {StIn}, {0}, BlockFlags(0));
    scheme.at(3)->error(EcIo);
    QCOMPARE(uint32_t(scheme.status()), 0xFF810012u);
    QVERIFY(scheme.at(0)->setStatus(ScOk));
    QCOMPARE(scheme.status(), ScOk);
    QVERIFY(!scheme.at(0)->setStatus(slotStatus(1, EcParam)));
    QCOMPARE(scheme.status(), slotStatus(1, EcParam));
    // no owner: nothing to change
    Slot free(SlotId(3), kIn);
    QVERIFY(!free.error(EcIo));
    QCOMPARE(free.status(), ScOk);
}

void TestSlot::constructorLimits()
{
    SlotIds many;
    for (int i = 0; i < 128; ++i)
        many.append(SlotId(1));
    const Slot tooMany(SlotId(0xC001), kCode, many, many, BlockFlags(0), BsUntrained, nullptr);
    QVERIFY(tooMany.links().isEmpty() && tooMany.nestedIds().isEmpty());
    const Slot unequal(SlotId(0xC001), kCode, ids({1, 2}), ids({1}), BlockFlags(0), BsUntrained, nullptr);
    QVERIFY(unequal.links().isEmpty() && unequal.nestedIds().isEmpty());
    const Slot most(SlotId(0xC001), kCode, many.mid(1), many.mid(1), BlockFlags(0), BsUntrained, nullptr);
    QCOMPARE(most.links().size(), 127);
}

void TestSlot::countsAndFind()
{
    const Slot conv(SlotId(0xFF81), kCode, ids({0x0001, 0x4002, 0x8003, 0x0004}), BlockFlags(0), BsUntrained);
    int32_t counts[4] = {9, 9, 9, 9};
    conv.countLinks(counts);
    QCOMPARE(QList<int32_t>({counts[0], counts[1], counts[2], counts[3]}), QList<int32_t>({2, 1, 1, 0}));
    conv.countNested(counts);
    QCOMPARE(QList<int32_t>({counts[0], counts[1], counts[2], counts[3]}), QList<int32_t>({0, 0, 0, 0}));
    SlotIds in, spOut, cv;
    conv.find(&in, nullptr, &spOut, &cv);
    QCOMPARE(in, ids({0x0001, 0x0004}));
    QCOMPARE(spOut, ids({0x8003}));
    QCOMPARE(cv, ids({0xFF81}));
    QCOMPARE(SlotIds(conv, StSpIn), ids({0x4002}));
}

void TestSlot::dump()
{
    const Slot free(SlotId(0xFF81), kCode, ids({0x0001, 0x8002}), BlockFlags(0), BsTrained);
    QCOMPARE(printed(free),
             QString("Slot((StConv BtNeuralConv 1) (128 MfI1 MtDO) {} BsTrained [(StIn 1) (StSpOut 2)] [] Nil Nil)"));
    Scheme scheme;
    scheme.push(StIn, kIn).push(StSpOut, kCode);
    scheme.push(BtNeuralConv, kCode, {StIn, StSpOut}, {0, 1}, BlockFlags(0));
    const QString text = printed(*scheme.at(2));
    QVERIFY2(text.startsWith("Slot((StConv BtNeuralConv 1) (128 MfI1 MtDO) {} BsUntrained [0 1] [] 0x"), qPrintable(text));
    QVERIFY2(text.endsWith(" Nil)"), qPrintable(text));
}

QTEST_GUILESS_MAIN(TestSlot)
#include "tst_slot.moc"

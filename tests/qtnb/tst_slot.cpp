#include "DebugCapture.h"
#include "FailingDevice.h"
#include "qtnb/Scheme.h"

#include <QtTest>

using namespace Nb;

namespace {

const Meta kIn(256, MfR32, MtC);
const Meta kCode(128, MfI1, MtDO);

QByteArray written(const Slot& slot, bool asResult, int32_t& n)
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    n = slot.write(stream, asResult);
    return bytes;
}

// A slot whose lists are set directly, as a careless caller could.
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
    void records();
    void readFailures();
    void unwritableRecords();
    void validation();
    void statusWords();
};

void TestSlot::records()
{
    int32_t n = 0;
    const Slot plain(SlotId(0x0001), kIn);
    QCOMPARE(written(plain, false, n), QByteArray::fromHex("0100" "00010000" "26" "01"));
    QCOMPARE(n, 8);
    const Slot conv(SlotId(0xFF81), kCode, {SlotId(1), SlotId(0x4002), SlotId(0x8003)}, BlockFlags(0x1234),
                    BsTrained);
    const QByteArray convBytes = written(conv, false, n);
    QCOMPARE(convBytes, QByteArray::fromHex("81ff" "80000000" "01" "06" "3412" "01" "03" "0100" "0240" "0380"));
    QCOMPARE(n, 18);
    QCOMPARE(conv.size(false), 18);
    // the result form stops after the meta, whatever the kind
    QCOMPARE(written(conv, true, n), convBytes.left(8));
    QCOMPARE(conv.size(true), 8);
    // a nested converter counts both lists in its count byte; ids alternate
    const Slot nested(SlotId(0xC001), kCode, {SlotId(1), SlotId(0x8002)}, {SlotId(3), SlotId(0x8004)},
                      BlockFlags(0), BsUntrained, nullptr);
    const QByteArray nestedBytes = written(nested, false, n);
    QCOMPARE(nestedBytes,
             QByteArray::fromHex("01c0" "80000000" "01" "06" "0000" "00" "04" "0100" "0300" "0280" "0480"));
    QCOMPARE(nested.size(false), 20);

    // read back: the reader is handed the id already taken off the front
    Slot back;
    QDataStream in(nestedBytes.mid(2));
    QCOMPARE(back.read(SlotId(0xC001), in, 18, false), 18);
    QCOMPARE(back.links(), nested.links());
    QCOMPARE(back.nestedIds(), nested.nestedIds());
    QDataStream in2(convBytes.mid(2));
    QCOMPARE(back.read(SlotId(0xFF81), in2, 16, false), 16);
    QCOMPARE(uint16_t(back.flags()), uint16_t(0x1234));
    QCOMPARE(back.state(), BsTrained);
    // the result form of a converter takes the meta alone and keeps the rest
    Slot kept(SlotId(0xFF81), kIn, {SlotId(7)}, BlockFlags(9), BsPartially);
    QDataStream in3(convBytes.mid(2));
    QCOMPARE(kept.read(SlotId(0xFF81), in3, 16, true), 6);
    QCOMPARE(in3.device()->pos(), qint64(6));
    QVERIFY(kept.meta() == kCode);
    QCOMPARE(kept.links(), SlotIds({SlotId(7)}));
    QCOMPARE(uint16_t(kept.flags()), uint16_t(9));
    QCOMPARE(kept.state(), BsPartially);
}

void TestSlot::readFailures()
{
    int32_t n = 0;
    const QByteArray conv =
        written(Slot(SlotId(0xFF81), kCode, {SlotId(1), SlotId(2), SlotId(3)}, BlockFlags(0), BsUntrained), false, n)
            .mid(2);
    QByteArray count255 = conv;
    count255[9] = char(0xFF);
    QByteArray odd = written(Slot(SlotId(0xC001), kCode, {SlotId(1)}, {SlotId(1)}, BlockFlags(0), BsUntrained,
                                  nullptr),
                             false, n)
                         .mid(2);
    odd[9] = char(3);
    struct Case {
        const char* name;
        SlotId id;
        QByteArray payload;
        int32_t available;
        Status status;
        qint64 consumed;
    };
    const Case cases[] = {
        {"available 5", SlotId(0xFF81), conv, 5, slotStatus(0xFF81, EcIo), 0},
        {"count beyond available", SlotId(0xFF81), conv, 15, slotStatus(0xFF81, EcIo), 10},
        {"truncated ids", SlotId(0xFF81), conv.left(11), 100, slotStatus(0xFF81, EcIo), 11},
        {"truncated meta", SlotId(0xFF81), conv.left(3), 100, slotStatus(0xFF81, EcIo), 3},
        {"count byte 255", SlotId(0xFF81), count255, 100, ScOk, 10},
        {"odd count of a nested converter", SlotId(0xC001), odd, 100, slotStatus(0xC001, EcIo), 10},
    };
    for (const Case& c : cases) {
        Scheme owner;
        owner.push(StIn, kIn);
        QDataStream stream(c.payload);
        QVERIFY2(owner.at(0)->read(c.id, stream, c.available, false) == -1, c.name);
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
        SlotIds links, nested;
    };
    const Case cases[] = {
        {"255 links", SlotId(0xFF81), many, {}},
        {"nested ids on a plain converter", SlotId(0xFF81), {SlotId(1)}, {SlotId(1)}},
        {"unpaired nested lists", SlotId(0xC001), {SlotId(1), SlotId(1)}, {SlotId(1)}},
        {"128 pairs", SlotId(0xC001), many.mid(0, 128), many.mid(0, 128)},
    };
    DebugCapture capture;
    for (const Case& c : cases) {
        Scheme owner;
        RawSlot slot(c.id, c.links, c.nested);
        slot.setOwner(&owner);
        owner.setStatus(ScOk);
        int32_t n = 0;
        QVERIFY2(written(slot, false, n).isEmpty() && n == -1, c.name);
        QVERIFY2(owner.status() == slotStatus(c.id, EcCScheme), c.name);
        QVERIFY2(written(slot, true, n).size() == 8, c.name);
    }
    // 254 ids in all still fit
    int32_t n = 0;
    QCOMPARE(written(RawSlot(SlotId(0xC001), many.mid(0, 127), many.mid(0, 127)), false, n).size(), 12 + 4 * 127);
    // the constructor that takes both lists drops them past 127
    QVERIFY(Slot(SlotId(0xC001), kCode, many.mid(0, 128), many.mid(0, 128), BlockFlags(0), BsUntrained, nullptr)
                .links()
                .isEmpty());
    const Slot unequal(SlotId(0xC001), kCode, {SlotId(1), SlotId(2)}, {SlotId(1)}, BlockFlags(0), BsUntrained,
                       nullptr);
    QVERIFY(unequal.links().isEmpty() && unequal.nestedIds().isEmpty());
}

void TestSlot::validation()
{
    DebugCapture capture;
    Scheme owner;
    owner.push(StIn, kIn).push(StSpOut, kCode);
    struct Case {
        const char* name;
        SlotId id;
        SlotIds links, nested;
        bool valid;
    };
    const Case cases[] = {
        {"plain slot with a link", SlotId(0x0003), {SlotId(1)}, {}, false},
        {"reads an input, writes the special output", SlotId(0xFF81), {SlotId(1), SlotId(0x8002)}, {}, true},
        {"links a converter", SlotId(0xFF81), {SlotId(0xC001)}, {}, false},
        {"special output link on an input", SlotId(0xFF81), {SlotId(0x8001)}, {}, false},
        {"link to no slot", SlotId(0xFF81), {SlotId(9)}, {}, false},
        {"nested ids on a plain converter", SlotId(0xFF81), {SlotId(1)}, {SlotId(1)}, false},
        {"nested pair of equal kinds", SlotId(0xC001), {SlotId(1)}, {SlotId(5)}, true},
        {"nested converter counts as special output", SlotId(0xC001), {SlotId(0x8002)}, {SlotId(0xFF81)}, true},
        {"nested pair of other kinds", SlotId(0xC001), {SlotId(1)}, {SlotId(0x4005)}, false},
    };
    for (const Case& c : cases) {
        RawSlot slot(c.id, c.links, c.nested);
        QVERIFY2(slot.setOwner(&owner) == c.valid, c.name);
        slot.setOwner(nullptr);
    }
    // two links write one special output
    owner.push(BtNeuralConv, kCode, {StIn, StSpOut}, {0, 1}, BlockFlags(0));
    owner.push(BtNeuralConv, kCode, {StIn, StSpOut}, {0, 1}, BlockFlags(0)).setOut(3);
    QVERIFY(!owner.validate());
    QCOMPARE(owner.status(), slotStatus(0x8002, EcCScheme));
    // a nested scheme only for nested converters
    Scheme inner;
    inner.push(StIn, kIn);
    QVERIFY(!Slot(SlotId(0xFF81), kCode).setNested(&inner));
    Slot nested(SlotId(0xC001), kCode, {SlotId(1)}, {SlotId(0x4001)}, BlockFlags(0), BsUntrained, nullptr);
    QVERIFY(!nested.setNested(&inner)); // an id the nested scheme lacks
}

void TestSlot::statusWords()
{
    Scheme scheme;
    scheme.push(StIn, kIn).push(StIn, kIn).push(StIn, kIn);
    QVERIFY(!scheme.at(2)->error(EcIo));
    QCOMPARE(uint32_t(scheme.status()), 0xC0030012u);
    scheme.push(BtNeuralConv, kCode, {StIn}, {0}, BlockFlags(0));
    scheme.at(3)->error(EcIo);
    QCOMPARE(uint32_t(scheme.at(0)->status()), 0xFF810012u);
    QVERIFY(!scheme.at(0)->setStatus(slotStatus(1, EcParam)));
    QCOMPARE(scheme.status(), slotStatus(1, EcParam));
    Slot free(SlotId(3), kIn);
    QVERIFY(!free.error(EcIo));
    QCOMPARE(free.status(), ScOk);
    // a stream error while writing
    FailingDevice device(5);
    device.open(QIODevice::WriteOnly);
    QDataStream stream(&device);
    QCOMPARE(scheme.at(1)->write(stream, false), -1);
    QCOMPARE(scheme.status(), slotStatus(2, EcIo));
    QCOMPARE(printed(Slot(SlotId(0xFF81), kCode, {SlotId(1)}, BlockFlags(0), BsTrained)),
             QString("Slot((StConv BtNeuralConv 1) (128 MfI1 MtDO) {} BsTrained [(StIn 1)] [] Nil Nil)"));
}

QTEST_GUILESS_MAIN(TestSlot)
#include "tst_slot.moc"

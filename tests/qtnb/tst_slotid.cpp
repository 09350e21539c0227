#include "DebugCapture.h"
#include "qtnb/Scheme.h"

#include <QtTest>

using namespace Nb;

class TestSlotId : public QObject {
    Q_OBJECT
private slots:
    void layout_data();
    void layout();
    void fields();
    void dumps_data();
    void dumps();
    void listFromArray();
};

void TestSlotId::layout_data()
{
    QTest::addColumn<quint16>("value");
    QTest::addColumn<quint16>("expected");
    QTest::newRow("first neural converter") << quint16(SlotId::conv(127, 1)) << quint16(0xFF81);
    QTest::newRow("first connector") << quint16(SlotId::conv(BtConnector, 1)) << quint16(0xFC81);
    QTest::newRow("first condition") << quint16(SlotId::conv(BtCondition, 1)) << quint16(0xFA01);
    QTest::newRow("block 128 keeps 7 bits") << quint16(SlotId::conv(128, 1)) << quint16(0xC001);
    QTest::newRow("slot field 7 bits") << quint16(SlotId::conv(127, 0x81)) << quint16(0xFF81);
    QTest::newRow("head") << quint16(SlotId::head(127)) << quint16(0xFF80);
    QTest::newRow("spIn masks") << quint16(SlotId::spIn(0xC003)) << quint16(0x4003);
    QTest::newRow("spOut masks") << quint16(SlotId::spOut(0x4007)) << quint16(0x8007);
    QTest::newRow("masked ctor") << quint16(SlotId(uint16_t(0x8005), StSpIn)) << quint16(0x4005);
    QTest::newRow("unmasked ctor") << quint16(SlotId(StSpIn, uint16_t(0x8005))) << quint16(0xC005);
    QTest::newRow("make unmasked") << quint16(SlotId::make(StIn, 0x8002)) << quint16(0x8002);
    QTest::newRow("retyped") << quint16(SlotId(0xFF81).retyped(StSpOut)) << quint16(0xBF81);
    QTest::newRow("static retyped") << quint16(SlotId::retyped(0x4003, StIn)) << quint16(0x0003);
    QTest::newRow("nil") << quint16(NilSlotId) << quint16(0);
}

void TestSlotId::layout()
{
    QFETCH(quint16, value);
    QFETCH(quint16, expected);
    QCOMPARE(value, expected);
}

void TestSlotId::fields()
{
    const SlotId conv(0xFF82);
    QCOMPARE(conv.type(), StConv);
    QCOMPARE(conv.block(), uint8_t(127));
    QCOMPARE(conv.slot(), uint8_t(2));
    QCOMPARE(conv.number(), uint16_t(0x3F82));
    // block and slot of a plain id are bits of its number
    const SlotId plain(uint16_t(200), StSpOut);
    QCOMPARE(plain.type(), StSpOut);
    QCOMPARE(plain.block(), uint8_t(1));
    QCOMPARE(plain.slot(), uint8_t(72));
    QCOMPARE(SlotId::number(0xFFFF), uint16_t(0x3FFF));
}

void TestSlotId::dumps_data()
{
    QTest::addColumn<quint16>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("neural") << quint16(0xFF81) << "(StConv BtNeuralConv 1)";
    QTest::newRow("nested") << quint16(0xC002) << "(StConv BtNbc 2)";
    QTest::newRow("special input") << quint16(0x4003) << "(StSpIn 3)";
    QTest::newRow("input") << quint16(0x0001) << "(StIn 1)";
    QTest::newRow("special output") << quint16(0xBFFF) << "(StSpOut 16383)";
}

void TestSlotId::dumps()
{
    QFETCH(quint16, value);
    QFETCH(QString, expected);
    QCOMPARE(printed(SlotId(value)), expected);
}

void TestSlotId::listFromArray()
{
    const SlotId ids[] = {SlotId(1), SlotId(0x8002), SlotId(0xFF81)};
    QCOMPARE(printed(SlotIds(ids, 3)), QString("[(StIn 1) (StSpOut 2) (StConv BtNeuralConv 1)]"));
    QCOMPARE(SlotIds(ids, 2).size(), 2);
    QVERIFY(SlotIds(ids, 0).isEmpty());
    QVERIFY(SlotIds(ids, -5).isEmpty());
    QCOMPARE(printed(SlotIds()), QString("[]"));
}

QTEST_GUILESS_MAIN(TestSlotId)
#include "tst_slotid.moc"

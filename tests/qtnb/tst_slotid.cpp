#include "DebugCapture.h"
#include "qtnb/Scheme.h"

#include <QtTest>

using namespace Nb;

class TestSlotId : public QObject {
    Q_OBJECT
private slots:
    void layout();
    void dumps();
};

void TestSlotId::layout()
{
    QCOMPARE(SlotId::conv(BtNeuralConv, 1), SlotId(0xFF81));
    QCOMPARE(SlotId::conv(BtConnector, 1), SlotId(0xFC81));
    QCOMPARE(SlotId::conv(BtCondition, 1), SlotId(0xFA01));
    // only seven bits of the block type and of the instance enter the id
    QCOMPARE(SlotId::conv(128, 1), SlotId(0xC001));
    QCOMPARE(SlotId::conv(127, 0x81), SlotId(0xFF81));
    QCOMPARE(SlotId::head(127), SlotId(0xFF80));
    QCOMPARE(SlotId::spIn(0xC003), SlotId(0x4003));
    QCOMPARE(SlotId::spOut(0x4007), SlotId(0x8007));
    // the masked constructor drops the number's kind bits, the others keep them
    QCOMPARE(SlotId(uint16_t(0x8005), StSpIn), SlotId(0x4005));
    QCOMPARE(SlotId(StSpIn, uint16_t(0x8005)), SlotId(0xC005));
    QCOMPARE(SlotId::make(StIn, 0x8002), SlotId(0x8002));
    QCOMPARE(SlotId(0xFF81).retyped(StSpOut), SlotId(0xBF81));
    const SlotId conv(0xFF82);
    QCOMPARE(conv.type(), StConv);
    QCOMPARE(conv.block(), uint8_t(127));
    QCOMPARE(conv.slot(), uint8_t(2));
    QCOMPARE(conv.number(), uint16_t(0x3F82));
    // block and slot of a plain id are bits of its number
    QCOMPARE(SlotId(uint16_t(200), StSpOut).block(), uint8_t(1));
    QCOMPARE(SlotId(uint16_t(200), StSpOut).slot(), uint8_t(72));
    const SlotId ids[] = {SlotId(1), SlotId(2)};
    QCOMPARE(SlotIds(ids, 2).size(), 2);
    QVERIFY(SlotIds(ids, -1).isEmpty());
}

void TestSlotId::dumps()
{
    QCOMPARE(printed(SlotId(0xFF81)), QString("(StConv BtNeuralConv 1)"));
    QCOMPARE(printed(SlotId(0xC002)), QString("(StConv BtNbc 2)"));
    QCOMPARE(printed(SlotId(0x4003)), QString("(StSpIn 3)"));
    const SlotId ids[] = {SlotId(1), SlotId(0x8002)};
    QCOMPARE(printed(SlotIds(ids, 2)), QString("[(StIn 1) (StSpOut 2)]"));
    QCOMPARE(printed(SlotIds()), QString("[]"));
}

QTEST_GUILESS_MAIN(TestSlotId)
#include "tst_slotid.moc"

// Enrolment and unlocking with handwriting through the runtime: the
// dispatcher finds the real pad module and the real engine in a modules
// folder, a synthetic person writes 12 samples on the pad, standard scheme 0
// is trained for a 20-byte key, and fresh samples of that person give the
// key back while other writers' samples do not.

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include "EngineRig.h"
#include "PenRig.h"
#include "modules/pen/PenSynth.h"
#include "nb-cpp/BimBase.h"
#include "nb-cpp/Processor.h"
#include "nb-cpp/Provider.h"

namespace {

const QByteArray Key = QByteArray::fromHex("00112233445566778899aabbccddeeff01234567");
const Pen::Writer Person(1006);

} // namespace

class TestPenRecognition : public QObject {
    Q_OBJECT

    QTemporaryDir modules;
    Dispatcher dispatcher;
    QWidget area;
    Provider provider;

    // One sample written on the pad and taken, as the wizard's add button
    // takes it, into the set the capture was started with.
    bool write(const Pen::Sample& sample)
    {
        penrig::draw(area.findChild<QWidget*>(), sample);
        return provider.capture(false);
    }

    // The extraction wizard's part: template, parameters, engine.
    QByteArray unlock(const QByteArray& containerBytes, const Pen::Sample& sample)
    {
        Nbc nbc;
        BimBase live;
        if (!nbc.fromBytes(containerBytes) || !provider.startCapture(&live) || !write(sample))
            return QByteArray();
        Processor processor;
        Nb::Matrix templ, params;
        if (!dispatcher.getProcessor(TECH_Handwriting, &processor, nullptr) ||
            !nbc.getTemplate(Nb::SlotId(1), live.imageType(0), templ) || !processor.setTemplate(&templ) ||
            !processor.convert(&params, &live))
            return QByteArray();
        return modrig::extract(dispatcher, nbc, Key.size(), {&params});
    }

private slots:
    void initTestCase()
    {
        QVERIFY(modrig::install(dispatcher, modules, {NBPEN_MODULE_PATH, ULVAR_MODULE_PATH}));
        area.resize(700, 300);
        area.show();
        QVERIFY(dispatcher.getProvider(TECH_Handwriting, &provider, nullptr));
        QVERIFY(provider.isAttached());
        QVERIFY(provider.attachWindow(&area));
    }

    void enrolAndUnlock()
    {
        BimBase samples;
        QVERIFY(provider.startCapture(&samples));
        for (uint32_t i = 1; i <= 12; ++i)
            QVERIFY(write(Person.sample(i)));
        QCOMPARE(samples.count(), 12);

        // The training wizard's order: template, parameters, foreign writers.
        Nbc nbc;
        nbc.setCodeLength(160);
        QVERIFY(nbc.setStandardScheme(0));
        Processor processor;
        QVERIFY(dispatcher.getProcessor(TECH_Handwriting, &processor, nullptr));
        Nb::Matrix templ, own, alien;
        QVERIFY(processor.getTemplate(&templ, &samples));
        QVERIFY(processor.setTemplate(&templ));
        QVERIFY(nbc.setTemplate(Nb::SlotId(1), samples.imageType(0), templ));
        QVERIFY(processor.convert(&own, &samples));
        QVERIFY(processor.getAlienParams(&alien));
        QVERIFY(alien.cols() >= 128);
        const QByteArray stored = modrig::train(dispatcher, nbc, Key, {&own}, {&alien});
        QVERIFY(!stored.isEmpty());

        int given = 0;
        for (uint32_t i = 100; i < 105; ++i)
            given += unlock(stored, Person.sample(i)) == Key;
        QVERIFY2(given >= 4, qPrintable(QString("%1 of 5 fresh samples gave the key").arg(given)));
        for (uint32_t w = 0; w < 5; ++w)
            QVERIFY(unlock(stored, Pen::Writer(300000 + w).sample(1)) != Key);
    }

    void cleanupTestCase() { provider.unload(); }
};

QTEST_MAIN(TestPenRecognition)
#include "tst_penrecognition.moc"

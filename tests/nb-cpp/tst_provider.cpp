#include "nb-cpp/BimBase.h"
#include "nb-cpp/Dispatcher.h"
#include "nb-cpp/Exception.h"
#include "nb-cpp/Provider.h"

#include <QBuffer>
#include <QImage>
#include <QSignalSpy>
#include <QWidget>
#include <QtTest>

#include "TestModule.h"
#include "Thrown.h"

namespace {

const int Row = TestModule::HandwritingProvider;

QByteArray image(float first)
{
    QVector<float> v(TestModule::HandwritingFeatures, 0.5f);
    v[0] = first;
    return vectorBytes(v);
}

} // namespace

class TestProvider : public QObject {
    Q_OBJECT

    TestModule* m = nullptr;
    QWidget window;
    BimBase set;

    bool load(Provider& p) { return p.load(testModulePath(), TechnologyTable[0].classId, TechnologyTable[0]); }

private slots:
    void initTestCase()
    {
        m = testModule();
        QVERIFY(m);
    }

    void init()
    {
        m->resetTo(Row);
        set.clear();
    }

    // The calls a provider module sees from binding to release.
    void lifecycle()
    {
        Dispatcher dispatcher;
        dispatcher.scan(Dispatcher::modulesPath());
        {
            Provider p;
            QVERIFY(dispatcher.getProvider(TechnologyTable[0].technologyId, &p, nullptr));
            QVERIFY(p.isAttached());
            QVERIFY(p.attachWindow(&window));
            QVERIFY(p.startCapture(&set));
            m->queueImage(Row, image(1));
            QVERIFY(p.capture(false));
            QVERIFY(!p.capture(false)); // nothing came within the wait
            QVERIFY(p.viewImage(0));
            QVERIFY(p.restartCapture());
            QCOMPARE(set.count(), 1);
            QCOMPARE(set.imageType(0), p.imageType());
            QCOMPARE(QByteArray(reinterpret_cast<const char*>(set.at(0)) + 20, image(1).size()), image(1));
        } // destroyed while a capture runs: stopped first
        QCOMPARE(m->journal(Row),
                 QStringList({"query", "release", "query", "setEventHandler", "attachDevice(0)", "attachWindow",
                              "startCapture", "waitForBimReady", "freeBim", "startCapture", "waitForBimReady",
                              "startCapture", "stopCapture", "viewImage", "waitForBimReady", "startCapture",
                              "stopCapture", "attachWindow(-1)", "attachDevice(-1)", "release"}));
        QCOMPARE(m->liveObjects(Row), 0);
        QCOMPARE(m->liveBuffers(Row), 0);
    }

    // Calls that cannot apply answer false without reaching the module.
    void refusals()
    {
        Provider p;
        QVERIFY(p.unload() && !p.isLoaded());
        QVERIFY(load(p) && !p.detachDevice() && p.attachDevice(0) && !p.attachDevice(0));
        QVERIFY(!p.attachWindow(nullptr) && !p.startCapture(nullptr));
        QCOMPARE(m->journal(Row), QStringList({"query", "setEventHandler", "attachDevice(0)"}));
    }

    void events()
    {
        Provider p;
        QVERIFY(load(p));
        QSignalSpy ready(&p, &Provider::signalImageReady);
        QSignalSpy cancel(&p, &Provider::signalImageCancel);
        QSignalSpy started(&p, &Provider::signalImageStarted);
        QVERIFY(p.startCapture(&set));
        // Raised by the module while the provider is inside a call: dropped.
        m->fireDuring(Row, "waitForBimReady", nbEV_IMAGE_READY);
        m->fireDuring(Row, "startCapture", nbEV_IMAGE_STARTED);
        p.capture(false);
        QCOMPARE(ready.count() + started.count(), 0);
        // A call that throws does not leave the provider deaf.
        m->fail(Row, "startCapture", nbE_PARAM);
        QVERIFY(!thrown<Exception>([&] { p.capture(false); }).isEmpty());
        for (uint32_t code : {nbEV_IMAGE_READY, nbEV_IMAGE_CANCEL, nbEV_IMAGE_STARTED, 0x101u})
            QCOMPARE(m->fireEvent(Row, code), 1);
        QCOMPARE(ready.count(), 1);
        QCOMPARE(cancel.count(), 1);
        QCOMPARE(started.count(), 1);
    }

    void failures_data()
    {
        QTest::addColumn<QString>("op");
        QTest::addColumn<uint>("code");
        QTest::addColumn<QString>("message");
        const uint none = nbE_DEVICE_NOT_CONNECTED, driver = nbE_NO_MODULE, other = nbE_PARAM;
        QTest::newRow("query") << "query" << other
                               << "Невозможно загрузить интерфейс библиотеки биометрического провайдера";
        QTest::newRow("sink") << "setEventHandler" << other << "Невозможно установить обработчик сообщений";
        QTest::newRow("attach, none") << "attachDevice(0)" << none
                                      << "Невозможно присоединить устройство ввода: устройство не подключено";
        QTest::newRow("attach, driver") << "attachDevice(0)" << driver
                                        << "Невозможно присоединить устройство ввода: драйвер не найден";
        QTest::newRow("attach") << "attachDevice(0)" << other << "Невозможно присоединить устройство ввода";
        QTest::newRow("detach, none") << "attachDevice(-1)" << none
                                      << "Невозможно отсоединить устройство ввода: устройство не подключено";
        QTest::newRow("detach, driver") << "attachDevice(-1)" << driver
                                        << "Невозможно отсоединить устройство ввода: драйвер не найден";
        QTest::newRow("detach") << "attachDevice(-1)" << other << "Невозможно отсоединить устройство ввода";
        QTest::newRow("window") << "attachWindow" << other << "Невозможно присоединить окно";
        QTest::newRow("no window") << "attachWindow(-1)" << other << "Невозможно отсоединить окно";
        QTest::newRow("capture") << "startCapture" << other << "Невозможно выполнить захват биометрического образа";
        QTest::newRow("reset") << "stopCapture" << other << "Невозможно сбросить образ";
        QTest::newRow("view") << "viewImage" << other << "Невозможно просмотреть образ";
    }

    // Each call in the provider's order, until the failing one throws.
    void failures()
    {
        QFETCH(QString, op);
        QFETCH(uint, code);
        QFETCH(QString, message);
        m->fail(Row, op, code);
        Provider p;
        const QString text = thrown<Exception>([&] {
            load(p);
            p.attachDevice(0);
            p.attachWindow(&window);
            p.startCapture(&set);
            m->queueImage(Row, image(1));
            p.capture(false);
            p.viewImage(0);
            p.unload();
        });
        QCOMPARE(text, message);
    }

    // A failed detach, whatever it throws, a second load and the destructor
    // all let the module go; the destructor throws nothing.
    void lettingGo_data()
    {
        QTest::addColumn<uint>("code");
        QTest::addColumn<QString>("error");
        QTest::newRow("error code") << uint(nbE_PARAM) << "Невозможно отсоединить окно";
        QTest::newRow("module throws") << uint(TestModule::Throws) << "the test module threw";
    }
    void lettingGo()
    {
        QFETCH(uint, code);
        {
            Provider p;
            QVERIFY(load(p));
            QVERIFY(load(p));
            QCOMPARE(m->liveObjects(Row), 1);
            QVERIFY(p.attachDevice(0));
            m->fail(Row, "attachWindow(-1)", code);
            m->fail(Row, "attachDevice(-1)", code);
            QString error;
            try {
                p.unload();
            } catch (const Exception& e) {
                error = e.message;
            } catch (const std::exception& e) {
                error = e.what();
            }
            QTEST(error, "error");
            QCOMPARE(m->liveObjects(Row), 0);
            QVERIFY(load(p));
            QVERIFY(p.attachDevice(0));
        }
        QCOMPARE(m->liveObjects(Row), 0);
    }

    // Once unloaded, the provider no longer reads the image set, which its
    // owner may then delete.
    void unloadForgetsImageSet()
    {
        Provider p;
        auto* images = new BimBase;
        QVERIFY(load(p) && p.startCapture(images));
        m->queueImage(Row, image(1));
        QVERIFY(p.capture(true));
        QVERIFY(!p.miniature(0).isNull());
        QVERIFY(p.unload());
        QVERIFY(p.miniature(0).isNull());
        delete images;
        QVERIFY(p.miniature(0).isNull());
        QVERIFY(!p.viewImage(0));
    }

    // Stops and starts the capture again, whatever the module answers.
    void recapture()
    {
        Provider p;
        QVERIFY(!p.recapture());
        QVERIFY(load(p) && p.startCapture(&set));
        m->fail(Row, "stopCapture", nbE_PARAM);
        m->fail(Row, "startCapture", nbE_PARAM, 1);
        QVERIFY(p.recapture());
        QVERIFY(p.recapture());
        m->queueImage(Row, image(2));
        QVERIFY(p.capture(false));
        QCOMPARE(set.count(), 1);
        QCOMPARE(m->journal(Row).mid(2), QStringList({"startCapture", "stopCapture", "startCapture", "stopCapture",
                                                       "startCapture", "waitForBimReady", "freeBim", "startCapture"}));
    }

    void miniature_data()
    {
        QTest::addColumn<bool>("failing");
        QTest::addColumn<QByteArray>("picture");
        QTest::addColumn<QStringList>("asked");
        QTest::addColumn<int>("height");
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        QImage(40, 20, QImage::Format_RGB32).save(&buffer, "PNG");
        const QString exact = QString("getImage(%1)").arg(png.size());
        QTest::newRow("picture") << false << png << QStringList{"getImage(1)", exact} << 64;
        QTest::newRow("not a picture") << false << QByteArray("no picture")
                                       << QStringList{"getImage(1)", "getImage(10)"} << 0;
        // A module that never has enough is not asked for ever.
        QTest::newRow("never enough") << true << png
                                      << QStringList{"getImage(1)", "getImage(2)", "getImage(3)", "getImage(4)"} << 0;
    }

    void miniature()
    {
        QFETCH(bool, failing);
        QFETCH(QByteArray, picture);
        QFETCH(QStringList, asked);
        QFETCH(int, height);
        if (failing)
            m->fail(Row, "getImage", nbE_INSUFFICIENT_BUFFER);
        m->setPicture(Row, picture);
        Provider p;
        QVERIFY(load(p));
        QCOMPARE(p.fillMiniature().height(), height);
        QCOMPARE(m->journal(Row).filter("getImage"), asked);
    }
};

QTEST_MAIN(TestProvider)
#include "tst_provider.moc"

// The fingerprint reader through its module interface, on libfprint's
// virtual image reader: a capture in the runtime's order of calls, poor
// images and presses that miss the print's centre, timeout, cancel, unplug
// and re-attach, no usable reader, hostile buffers and release in the
// middle of a capture.

#include <QLayout>
#include <QPixmap>
#include <QWidget>
#include <QtTest>

#include "DebugCapture.h"
#include "VirtualReader.h"
#include "modules/finger/FingerImage.h"

using namespace rig;

namespace {

// The first image also waits for the module's built-in strangers, worked out
// once per process.
constexpr int Wait = 120000;

QByteArray prefixed(int32_t n)
{
    QByteArray b(4 + n, '\0');
    qToLittleEndian<int32_t>(n, b.data());
    return b;
}

uint8_t* dataOf(QByteArray& b) { return reinterpret_cast<uint8_t*>(b.data()) + 4; }

bool anyContains(const DebugCapture& debug, const char* part)
{
    for (const QString& t : debug.texts())
        if (t.contains(QLatin1String(part)))
            return true;
    return false;
}

} // namespace

class TestFingerProvider : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void captureInRuntimeOrder();
    void poorImageIsRetried_data();
    void poorImageIsRetried();
    void imageTimeout();
    void stopCancels();
    void unplugThenAttachAgain();
    void noUsableReader_data();
    void noUsableReader();
    void withoutGlib();
    void hostileCalls();
    void releaseWhileCapturing();

private:
    // Attached, capturing, the reader waiting for a finger.
    bool waitingForFinger();

    VirtualReader* m_reader = nullptr;
    nbIProvider* m_p = nullptr;
    modrig::Events m_events;
    uint8_t* m_slot = nullptr;
};

void TestFingerProvider::init()
{
    m_reader = new VirtualReader;
    m_events.codes.clear();
    m_slot = nullptr;
    m_p = make<nbIProvider>(CLSID_FingerprintProvider, IID_nbIProvider);
    QVERIFY(m_p);
    QCOMPARE(m_p->setEventHandler(&m_events), nbS_OK);
}

void TestFingerProvider::cleanup()
{
    if (m_p)
        QCOMPARE(m_p->release(), 0u);
    m_p = nullptr;
    delete m_reader;
}

bool TestFingerProvider::waitingForFinger()
{
    if (m_p->attachDevice(0) != nbS_OK || !m_reader->connect())
        return false;
    const int before = m_events.count(nbEV_IMAGE_STARTED);
    if (m_p->startCapture(&m_slot, &TECH_Fingerprint, 0) != nbS_OK)
        return false;
    return QTest::qWaitFor([&] { return m_events.count(nbEV_IMAGE_STARTED) > before; }, Wait);
}

void TestFingerProvider::captureInRuntimeOrder()
{
    QWidget window;
    window.resize(300, 340);
    QCOMPARE(m_p->attachDevice(0), nbS_OK);
    QCOMPARE(m_p->attachWindow(&window, 0), nbS_OK);
    QVERIFY(window.layout());
    QVERIFY(m_reader->connect());
    const Finger::GreyImage sent = fingerImage(7, 70);
    for (int round = 0; round < 2; ++round) {
        m_events.codes.clear();
        QCOMPARE(m_p->startCapture(&m_slot, &TECH_Fingerprint, 0), nbS_OK);
        QTRY_COMPARE_WITH_TIMEOUT(m_events.count(nbEV_IMAGE_STARTED), 1, Wait);
        QVERIFY(m_reader->send(sent));
        QTRY_COMPARE_WITH_TIMEOUT(m_events.count(nbEV_IMAGE_READY), 1, Wait);
        QCOMPARE(m_p->waitForBimReady(&m_slot, 1000), nbS_OK);
        QVERIFY(m_slot);
        QCOMPARE(std::memcmp(m_slot + 4, TECH_Fingerprint.data(), 16), 0);
        Finger::GreyImage got;
        QVERIFY(Finger::ImageFormat::readSample(m_slot, got));
        QCOMPARE(got.pixels, sent.pixels);
        QCOMPARE(got.dpi, 500);
        QCOMPARE(m_p->freeBim(m_slot), nbS_OK);
        m_slot = nullptr;
    }

    // The picture of the current image: the two-call length protocol.
    QByteArray params = prefixed(1);
    dataOf(params)[0] = 1;
    QByteArray out = prefixed(1);
    QCOMPARE(m_p->getImage(nbIMAGE_PICTURE, dataOf(out), dataOf(params)), nbE_INSUFFICIENT_BUFFER);
    const int32_t needed = qFromLittleEndian<int32_t>(out.constData());
    QVERIFY(needed > 100);
    out = prefixed(needed);
    QCOMPARE(m_p->getImage(nbIMAGE_PICTURE, dataOf(out), dataOf(params)), nbS_OK);
    QPixmap picture;
    QVERIFY(picture.loadFromData(out.mid(4, needed)));
    QCOMPARE(picture.size(), QSize(sent.width, sent.height));

    QCOMPARE(m_p->startCapture(&m_slot, &TECH_Fingerprint, 0), nbS_OK);
    QCOMPARE(m_p->stopCapture(), nbS_OK);
    QCOMPARE(m_p->attachWindow(nbDETACH_WINDOW, 0), nbS_OK);
    QVERIFY(!window.layout());
    QVERIFY(window.findChildren<QWidget*>().isEmpty());
    QCOMPARE(m_p->attachDevice(-1), nbS_OK);
    QVERIFY(!m_events.codes.contains(nbEV_IMAGE_CANCEL));
}

void TestFingerProvider::poorImageIsRetried_data()
{
    QTest::addColumn<bool>("flat");
    QTest::addColumn<QByteArray>("why");
    // A flat image the reader itself refuses; a press with the top third of
    // the reader missed, and the print's centre with it, the module refuses.
    QTest::newRow("flat image") << true << QByteArray("not usable");
    QTest::newRow("press off the centre") << false << QByteArray("misses the centre");
}

void TestFingerProvider::poorImageIsRetried()
{
    QFETCH(bool, flat);
    QFETCH(QByteArray, why);
    QVERIFY(waitingForFinger());
    DebugCapture debug;
    Finger::Press cut;
    cut.cut = 0.33f;
    cut.side = 1;
    Finger::GreyImage poor = Finger::SyntheticFinger(206).impression(cut);
    if (flat)
        std::fill(poor.pixels.begin(), poor.pixels.end(), uint8_t(128));
    QVERIFY(m_reader->send(poor));
    // The capture goes on and says so.
    QTRY_COMPARE_WITH_TIMEOUT(m_events.count(nbEV_IMAGE_STARTED), 2, Wait);
    QVERIFY(anyContains(debug, why.constData()));
    QVERIFY(m_reader->send(fingerImage(3, 31)));
    QTRY_COMPARE_WITH_TIMEOUT(m_events.count(nbEV_IMAGE_READY), 1, Wait);
    QCOMPARE(m_events.count(nbEV_IMAGE_CANCEL), 0);
}

void TestFingerProvider::imageTimeout()
{
    QVERIFY(waitingForFinger());
    DebugCapture debug;
    // A finger on the reader whose image never comes.
    QVERIFY(m_reader->command(-4, 1));
    QTRY_COMPARE_WITH_TIMEOUT(m_events.count(nbEV_IMAGE_CANCEL), 1, Wait);
    QVERIFY(anyContains(debug, "no image came"));
    QCOMPARE(m_p->waitForBimReady(&m_slot, 1000), nbE_TIMEOUT_EXPIRED);
    QVERIFY(m_reader->command(-4, 0));
    QCOMPARE(m_p->startCapture(&m_slot, &TECH_Fingerprint, 0), nbS_OK);
    QTRY_COMPARE_WITH_TIMEOUT(m_events.count(nbEV_IMAGE_STARTED), 2, Wait);
}

void TestFingerProvider::stopCancels()
{
    QVERIFY(waitingForFinger());
    QCOMPARE(m_p->stopCapture(), nbS_OK);
    QCOMPARE(m_p->waitForBimReady(&m_slot, 1000), nbE_TIMEOUT_EXPIRED);
    // An image sent now finds no capture; a new capture takes the next one.
    QCOMPARE(m_p->startCapture(&m_slot, &TECH_Fingerprint, 0), nbS_OK);
    QTRY_COMPARE_WITH_TIMEOUT(m_events.count(nbEV_IMAGE_STARTED), 2, Wait);
    QVERIFY(m_reader->send(fingerImage(5, 50)));
    QTRY_COMPARE_WITH_TIMEOUT(m_events.count(nbEV_IMAGE_READY), 1, Wait);
    QCOMPARE(m_events.count(nbEV_IMAGE_CANCEL), 0);
}

void TestFingerProvider::unplugThenAttachAgain()
{
    QVERIFY(waitingForFinger());
    DebugCapture debug;
    QVERIFY(m_reader->command(-5, 0));
    QTRY_COMPARE_WITH_TIMEOUT(m_events.count(nbEV_IMAGE_CANCEL), 1, Wait);
    QVERIFY(anyContains(debug, "unplugged"));
    QCOMPARE(m_p->startCapture(&m_slot, &TECH_Fingerprint, 0), nbE_DEVICE_NOT_CONNECTED);
    QCOMPARE(m_p->attachDevice(-1), nbS_OK);
    m_events.codes.clear();
    QVERIFY(waitingForFinger());
    QVERIFY(m_reader->send(fingerImage(4, 40)));
    QTRY_COMPARE_WITH_TIMEOUT(m_events.count(nbEV_IMAGE_READY), 1, Wait);
}

void TestFingerProvider::noUsableReader_data()
{
    QTest::addColumn<QByteArray>("whitelist");
    QTest::addColumn<bool>("matchOnly");
    QTest::newRow("no reader") << QByteArray("virtual_image") << false;
    QTest::newRow("match on the chip only") << QByteArray("virtual_device") << true;
}

void TestFingerProvider::noUsableReader()
{
    QFETCH(QByteArray, whitelist);
    QFETCH(bool, matchOnly);
    qunsetenv("FP_VIRTUAL_IMAGE");
    qputenv("FP_DRIVERS_WHITELIST", whitelist);
    QTemporaryDir dir;
    if (matchOnly)
        qputenv("FP_VIRTUAL_DEVICE", dir.filePath(QStringLiteral("chip")).toUtf8());
    DebugCapture debug;
    QCOMPARE(m_p->attachDevice(0), nbE_DEVICE_NOT_CONNECTED);
    QCOMPARE(anyContains(debug, "only matches prints on the device"), matchOnly);
    QCOMPARE(m_p->startCapture(&m_slot, &TECH_Fingerprint, 0), nbE_DEVICE_NOT_CONNECTED);
}

void TestFingerProvider::withoutGlib()
{
    if (qEnvironmentVariableIsEmpty("QT_NO_GLIB"))
        QSKIP("runs as its own test with QT_NO_GLIB set");
    DebugCapture debug;
    QCOMPARE(m_p->attachDevice(0), nbE_NO_MODULE);
    QVERIFY(anyContains(debug, "GLib"));
}

void TestFingerProvider::hostileCalls()
{
    QCOMPARE(m_p->attachDevice(0), nbS_OK);
    QCOMPARE(m_p->startCapture(nullptr, &TECH_Fingerprint, 0), nbE_POINTER);
    QCOMPARE(m_p->startCapture(&m_slot, &TECH_Handwriting, 0), nbE_PARAM);
    QCOMPARE(m_p->waitForBimReady(nullptr, 1000), nbE_POINTER);

    uint8_t* good = Finger::ImageFormat::newSample(fingerImage(2, 20), TECH_Fingerprint);
    QCOMPARE(m_p->viewImage(good, 0), nbS_OK);
    uint8_t* foreign = Finger::ImageFormat::newSample(fingerImage(2, 21), TECH_Handwriting);
    QCOMPARE(m_p->viewImage(foreign, 0), nbE_PARAM);
    // A length word one short of the image it says it holds.
    qToLittleEndian<int32_t>(qFromLittleEndian<int32_t>(good) - 1, good);
    QCOMPARE(m_p->viewImage(good, 0), nbE_PARAM);
    QCOMPARE(m_p->viewImage(nullptr, 0), nbS_OK);
    // Nothing shown: still a picture, since a refusal would read as "too short".
    QByteArray blank = prefixed(4096);
    QCOMPARE(m_p->getImage(nbIMAGE_PICTURE, dataOf(blank), nullptr), nbS_OK);
    QVERIFY(QPixmap().loadFromData(blank.mid(4, qFromLittleEndian<int32_t>(blank.constData()))));

    // Only what the module handed out goes back, and only once.
    DebugCapture debug;
    QCOMPARE(m_p->freeBim(nullptr), nbS_OK);
    QCOMPARE(m_p->freeBim(foreign), nbE_PARAM);
    QVERIFY(anyContains(debug, "not handed out here"));
    delete[] good;
    delete[] foreign;
    QVERIFY(m_reader->connect());
    QCOMPARE(m_p->startCapture(&m_slot, &TECH_Fingerprint, 0), nbS_OK);
    QTRY_COMPARE_WITH_TIMEOUT(m_events.count(nbEV_IMAGE_STARTED), 1, Wait);
    QVERIFY(m_reader->send(fingerImage(2, 22)));
    QTRY_COMPARE_WITH_TIMEOUT(m_events.count(nbEV_IMAGE_READY), 1, Wait);
    QCOMPARE(m_p->waitForBimReady(&m_slot, 1000), nbS_OK);
    QCOMPARE(m_p->freeBim(m_slot), nbS_OK);
    QCOMPARE(m_p->freeBim(m_slot), nbE_PARAM);
}

void TestFingerProvider::releaseWhileCapturing()
{
    QWidget window;
    QCOMPARE(m_p->attachWindow(&window, 0), nbS_OK);
    QVERIFY(waitingForFinger());
    QCOMPARE(m_p->release(), 0u);
    m_p = nullptr;
    QVERIFY(window.findChildren<QWidget*>().isEmpty());
    // The reader was closed properly: a new provider opens and captures.
    m_p = make<nbIProvider>(CLSID_FingerprintProvider, IID_nbIProvider);
    QVERIFY(m_p);
    QCOMPARE(m_p->setEventHandler(&m_events), nbS_OK);
    m_events.codes.clear();
    QVERIFY(waitingForFinger());
    QVERIFY(m_reader->send(fingerImage(6, 60)));
    QTRY_COMPARE_WITH_TIMEOUT(m_events.count(nbEV_IMAGE_READY), 1, Wait);
}

QTEST_MAIN(TestFingerProvider)
#include "tst_fingerprovider.moc"

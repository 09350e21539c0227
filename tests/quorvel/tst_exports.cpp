#include "WizardRig.h"

#include <QRegularExpression>
#include <QTextCodec>
#include <QtTest>

#include <stdexcept>

#include "DebugCapture.h"
#include "nb-cpp/Nbc.h"

using namespace rig;

namespace {

// An untrained container of a scheme for a 160-bit code.
QByteArray containerOf(int scheme, int bits = 160)
{
    Nbc nbc;
    nbc.setCodeLength(160);
    if (scheme >= 0)
        nbc.setStandardScheme(scheme);
    nbc.setCodeLength(bits);
    QByteArray bytes;
    nbc.toBytes(bytes);
    return bytes;
}

} // namespace

class TestExports : public QObject {
    Q_OBJECT

    TestModule* m = nullptr;

private slots:
    void init() { QVERIFY(m = module()); }

    // Each scheme trained for a 20-byte key; the test dialog knows the
    // owner and not a stranger; the key comes back through nb_extract.
    void journey_data()
    {
        QTest::addColumn<int>("scheme");
        for (int scheme = 0; scheme < 8; ++scheme)
            QTest::newRow(qPrintable(inputsOf(scheme))) << scheme;
    }
    void journey()
    {
        QFETCH(int, scheme);
        Person person(scheme, uint32_t(7 + scheme));
        const bool alternatives = inputsOf(scheme).contains('|');
        QString status, figures, own, foreign;
        ModalDriver driver;
        driver.on("TrainWizard", [&](QWidget* w) {
            trainScheme(w, m, person, scheme);
            status = ModalDriver::find<QLabel>(w, "label_5")->text();
            figures = ModalDriver::find<QLabel>(w, "txtQuality")->text();
            ModalDriver::click(w, "btnTest");
            QTest::mouseClick(static_cast<QWizard*>(w)->button(QWizard::FinishButton), Qt::LeftButton);
        });
        if (alternatives)
            choose(driver, 0);
        driver.on("TestDialog", [&](QWidget* d) {
            enterLive(d, m, person, scheme, 0, true, "btnAccept");
            own = verdict(d);
            ModalDriver::click(d, "_btnAgain");
            enterLive(d, m, person, scheme, 0, false, "btnAccept");
            foreign = verdict(d);
            ModalDriver::click(d, "pushButton");
        });
        if (alternatives)
            choose(driver, 0);
        uint32_t rc = 1;
        const QByteArray container = train(person.key, &rc);
        QCOMPARE(rc, 0u);
        QVERIFY2(driver.done() && driver.errors.isEmpty(), qPrintable(driver.errors.join(", ")));
        QCOMPARE(status, QString("Поздравляем! Система успешно обучена."));
        QVERIFY(figures.startsWith("Предполагаемая вероятность ошибки первого рода: "));
        QCOMPARE(own, QString("Пользователь определен как СВОЙ"));
        QVERIFY2(QRegularExpression("^Пользователь определен как ЧУЖОЙ\r\n[1-9][0-9]* не совпало$").match(foreign).hasMatch(),
                 qPrintable(foreign));
        QCOMPARE(extract(m, person, scheme, container), person.key);
    }

    void cancel_data()
    {
        QTest::addColumn<bool>("training");
        QTest::newRow("nb_train") << true;
        QTest::newRow("nb_extract") << false;
    }
    void cancel()
    {
        QFETCH(bool, training);
        ModalDriver driver;
        driver.on(training ? "TrainWizard" : "ExtractWizard", [](QWidget* w) {
            QTest::mouseClick(static_cast<QWizard*>(w)->button(QWizard::CancelButton), Qt::LeftButton);
        });
        const QByteArray in = training ? QByteArray(20, 'k') : containerOf(0);
        uint8_t* out = reinterpret_cast<uint8_t*>(this);
        uint32_t length = 7;
        const auto* bytes = reinterpret_cast<const uint8_t*>(in.constData());
        const uint32_t rc = training ? nb_train(bytes, uint32_t(in.size()), &out, &length, nullptr)
                                     : nb_extract(bytes, uint32_t(in.size()), &out, &length, nullptr);
        QCOMPARE(rc, 2u);
        QVERIFY(!out && length == 0);
        QVERIFY(driver.done() && driver.errors.isEmpty());
    }

    // A wizard that cannot be built says why once and is never run.
    void refusedContainer_data()
    {
        QTest::addColumn<QByteArray>("container");
        QTest::addColumn<int>("providerRow"); // switched off
        QTest::addColumn<QString>("message");
        const QString format = "Неверный формат контейнера";
        QTest::newRow("not a container") << QByteArray("\x05\x00\x00\x00garbage", 12) << 0 << format;
        QTest::newRow("no inputs") << containerOf(-1) << 0 << format;
        QTest::newRow("code of 4 bits") << containerOf(0, 4) << 0 << format;
        QTest::newRow("code of 65544 bits") << containerOf(0, 65544) << 0 << format;
        QTest::newRow("no provider module") << containerOf(0) << 1 << "Модуль биометрического провайдера не найден!";
    }
    void refusedContainer()
    {
        QFETCH(QByteArray, container);
        QFETCH(int, providerRow);
        QFETCH(QString, message);
        if (providerRow)
            m->enable(providerRow, false);
        ModalDriver driver;
        driver.box();
        uint8_t* key = nullptr;
        uint32_t length = 0;
        QCOMPARE(nb_extract(reinterpret_cast<const uint8_t*>(container.constData()), uint32_t(container.size()), &key,
                            &length, nullptr),
                 2u);
        QCOMPARE(driver.boxes.size(), 1);
        QCOMPARE(driver.boxes.first().title, QString("Ошибка"));
        QCOMPARE(driver.boxes.first().text, message);
        QVERIFY(driver.errors.isEmpty());
    }

    void arguments_data()
    {
        QTest::addColumn<bool>("training");
        QTest::addColumn<int>("missing"); // 0 input, 1 buffer pointer, 2 length, -1 none
        QTest::addColumn<uint32_t>("length");
        QTest::addColumn<uint32_t>("result");
        QTest::addColumn<QString>("trace"); // the last debug line, after "returning "
        QTest::newRow("extract: no container") << false << 0 << 4u << 1u << "E_PARAM\r\n  some param is NULL";
        QTest::newRow("extract: no key pointer") << false << 1 << 4u << 1u << "E_PARAM\r\n  some param is NULL";
        QTest::newRow("extract: no length pointer") << false << 2 << 4u << 1u << "E_PARAM\r\n  some param is NULL";
        QTest::newRow("extract: empty container") << false << -1 << 0u << 1u << "E_PARAM\r\n  'container' is empty";
        QTest::newRow("train: no key") << true << 0 << 4u << 0xA0000003u << "nbE_PARAM\r\n  'code' is NULL";
        QTest::newRow("train: empty key") << true << -1 << 0u << 0xA0000003u << "nbE_PARAM\r\n  'code' is empty";
        QTest::newRow("train: no container pointer") << true << 1 << 4u << 0xA0000003u << "nbE_PARAM\r\n  some param is NULL";
        QTest::newRow("train: no length pointer") << true << 2 << 4u << 0xA0000003u << "nbE_PARAM\r\n  some param is NULL";
        QTest::newRow("train: key beyond 65536 bits") << true << -1 << 8193u << 0xA0000003u << "nbE_PARAM\r\n  'code' is too long";
    }
    void arguments()
    {
        QFETCH(bool, training);
        QFETCH(int, missing);
        QFETCH(uint32_t, length);
        QFETCH(uint32_t, result);
        QFETCH(QString, trace);
        DebugCapture debug;
        const QByteArray in(int(qMax(length, 1u)), 'x');
        uint8_t* out = reinterpret_cast<uint8_t*>(this);
        uint32_t outLength = 7;
        const auto* bytes = missing == 0 ? nullptr : reinterpret_cast<const uint8_t*>(in.constData());
        uint8_t** outPtr = missing == 1 ? nullptr : &out;
        uint32_t* lengthPtr = missing == 2 ? nullptr : &outLength;
        QCOMPARE(training ? nb_train(bytes, length, outPtr, lengthPtr, nullptr)
                          : nb_extract(bytes, length, outPtr, lengthPtr, nullptr),
                 result);
        QVERIFY(out == reinterpret_cast<uint8_t*>(this) && outLength == 7); // untouched
        const QString name = training ? "train" : "extract";
        QCOMPARE(debug.texts(), (QStringList{"Now at '" + name + "' function", "returning " + trace}));
        // Both lines under the export's own signature.
        for (const CapturedMessage& message : debug.messages)
            QCOMPARE(message.function,
                     "uint32_t nb_" + name + "(const uint8_t*, uint32_t, uint8_t**, uint32_t*, QWidget*)");
    }

    void freeing()
    {
        QTextCodec::setCodecForLocale(QTextCodec::codecForName("ISO-8859-5"));
        QCOMPARE(nb_free(nullptr), 1u);
        QCOMPARE(QTextCodec::codecForLocale()->name(), QByteArray("UTF-8"));
        uint8_t foreign[4] = {};
        QCOMPARE(nb_free(foreign), 1u); // not a buffer of the library
    }

    // Whatever leaves a wizard ends as E_FAIL inside the library.
    void exceptions_data()
    {
        QTest::addColumn<bool>("standard");
        QTest::newRow("runtime_error") << true;
        QTest::newRow("anything else") << false;
    }
    void exceptions()
    {
        QFETCH(bool, standard);
        ModalDriver driver;
        driver.on("TrainWizard", [standard](QWidget*) {
            if (standard)
                throw std::runtime_error("thrown");
            throw 42;
        });
        uint32_t rc = 0;
        QVERIFY(train(QByteArray(20, 'k'), &rc).isEmpty());
        QCOMPARE(rc, 0xFFFFFFFFu);
    }
};

QTEST_MAIN(TestExports)
#include "tst_exports.moc"

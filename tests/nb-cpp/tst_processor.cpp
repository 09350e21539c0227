#include "nb-cpp/BimBase.h"
#include "nb-cpp/Exception.h"
#include "nb-cpp/Processor.h"
#include "nbi/nbModule.h"

#include <QtTest>

#include "TestModule.h"
#include "Thrown.h"

namespace {

const int Row = TestModule::FingerprintProcessor;
const int Features = TestModule::FingerprintFeatures;

// An image of the fingerprint technology holding the vector.
QByteArray image(const QVector<float>& v)
{
    const Nb::Uuid& type = TechnologyTable[5].technologyId;
    const QByteArray bytes = vectorBytes(v);
    const int32_t n = bytes.size();
    return QByteArray(reinterpret_cast<const char*>(&n), 4) + QByteArray(reinterpret_cast<const char*>(type.data()), 16)
           + bytes;
}

QVector<float> column(const Nb::Matrix& m, int c)
{
    const float* f = reinterpret_cast<const float*>(m.at(0, c));
    return QVector<float>(f, f + m.meta(0).count);
}

} // namespace

class TestProcessor : public QObject {
    Q_OBJECT

    TestModule* m = nullptr;
    Processor processor;
    BimBase set;

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
        QVERIFY(processor.load(testModulePath(), TechnologyTable[5].classId, TechnologyTable[5]));
        m->clearJournal();
    }

    void cleanup() { QCOMPARE(m->liveBuffers(Row), 0); }

    // The copy ends with exactly the module's rows, formats and columns,
    // whatever the target held.
    void convert()
    {
        for (int i = 0; i < 3; ++i)
            QVERIFY(set.insert(i, reinterpret_cast<const uint8_t*>(image(foreignVector(Features, i)).constData()),
                               QPixmap()));
        const Nb::Meta old[2] = {Nb::Meta(8, Nb::MfI1, Nb::MtDO), Nb::Meta(3, Nb::MfR32, Nb::MtC)};
        Nb::Matrix params(2, 7, old);
        QVERIFY(processor.convert(&params, &set));
        QCOMPARE(params.rows(), 1);
        QCOMPARE(params.cols(), 3);
        QCOMPARE(params.meta(0), Nb::Meta(Features, Nb::MfR32, Nb::MtC));
        QCOMPARE(column(params, 2), foreignVector(Features, 2));
        QCOMPARE(m->journal(Row), QStringList({"convert", "freeBuffer", "freeBuffer"}));

        Nb::Matrix templ;
        QVERIFY(processor.getTemplate(&templ, &set));
        QCOMPARE(templ.cols(), 1);
        QVERIFY(processor.setTemplate(&templ));
        QCOMPARE(m->templateColumns(Row), 1);
    }

    void emptySet()
    {
        Nb::Matrix params;
        QVERIFY(!processor.convert(&params, &set));
        QVERIFY(!processor.getTemplate(&params, &set));
        QCOMPARE(m->journal(Row), QStringList({"getTemplate", "freeBuffer"}));
    }

    void alienParams()
    {
        Nb::Matrix out(1, Nb::Meta(4, Nb::MfR32, Nb::MtC));
        m->fail(Row, "getAlienParams", nbE_PARAM, 1);
        QVERIFY(!processor.getAlienParams(&out));
        QCOMPARE(out.cols(), 1);
        QCOMPARE(out.meta(0).count, 4);
        QVERIFY(processor.getAlienParams(&out));
        QCOMPARE(out.cols(), TestModule::ForeignVectors);
        QCOMPARE(column(out, 63), foreignVector(Features, 63));
    }

    void failures_data()
    {
        QTest::addColumn<QString>("op");
        QTest::addColumn<uint>("code");
        QTest::addColumn<QString>("message");
        QTest::newRow("template kept") << "setTemplate" << 2u << "";
        QTest::newRow("template") << "setTemplate" << 3u << "Невозможно загрузить шаблон биометрического образа";
        QTest::newRow("convert") << "convert" << nbE_PARAM
                                 << "Невозможно выполнить преобразование биометрических образов в параметры";
        QTest::newRow("get template") << "getTemplate" << nbE_PARAM
                                      << "Невозможно получить шаблон биометрического образа";
    }

    void failures()
    {
        QFETCH(QString, op);
        QFETCH(uint, code);
        QFETCH(QString, message);
        m->fail(Row, op, code);
        const QByteArray img = image(foreignVector(Features, 0));
        QVERIFY(set.insert(0, reinterpret_cast<const uint8_t*>(img.constData()), QPixmap()));
        Nb::Matrix out;
        QCOMPARE(thrown<Exception>([&] {
                     processor.setTemplate(&out);
                     processor.convert(&out, &set);
                     processor.getTemplate(&out, &set);
                 }),
                 message);
    }
};

QTEST_MAIN(TestProcessor)
#include "tst_processor.moc"

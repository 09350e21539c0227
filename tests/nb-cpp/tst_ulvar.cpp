#include "nb-cpp/BimBase.h"
#include "nb-cpp/Dispatcher.h"
#include "nb-cpp/Exception.h"
#include "nb-cpp/Nbc.h"
#include "nb-cpp/Processor.h"
#include "nb-cpp/Provider.h"
#include "nb-cpp/Ulvar.h"

#include <memory>

#include <QtTest>

#include "DebugCapture.h"
#include "TestModule.h"
#include "Thrown.h"

namespace {

using MatrixPtr = std::shared_ptr<Nb::Matrix>;

MatrixPtr codeOf(const QByteArray& key)
{
    Nbc holder;
    holder.setCode(key.isEmpty() ? QByteArray(20, '\0') : key);
    auto code = std::make_shared<Nb::Matrix>();
    holder.codeMatrix(*code);
    return code;
}

QByteArray keyOf(const Nb::Matrix& code)
{
    Nbc holder;
    holder.setCodeMatrix(code);
    QByteArray key;
    holder.code(key);
    return key;
}

MatrixPtr vectors(const QList<QVector<float>>& list)
{
    auto m = std::make_shared<Nb::Matrix>(list.size(), Nb::Meta(list.first().size(), Nb::MfR32, Nb::MtC));
    for (int c = 0; c < list.size(); ++c)
        std::memcpy(m->at(0, c), list.at(c).constData(), size_t(list.at(c).size()) * sizeof(float));
    return m;
}

// A synthetic owner's handwriting: a mean vector, and samples of it with
// Gaussian noise of the owner's spread.
MatrixPtr samplesOf(std::mt19937& gen, const QVector<float>& mean, float spread, int count)
{
    std::normal_distribution<float> noise(0.0f, spread);
    QList<QVector<float>> list;
    for (QVector<float> v(mean); list.size() < count; v = mean) {
        for (float& x : v)
            x += noise(gen);
        list << v;
    }
    return vectors(list);
}

} // namespace

class TestUlvar : public QObject {
    Q_OBJECT

    TestModule* m = nullptr;
    const QByteArray key = QByteArray(20, '\x5A');
    MatrixPtr own, alien, live;
    Nbc nbc;
    Ulvar ulvar; // bound to the test module's wrapper of the engine

    void newContainer(int scheme)
    {
        nbc.clear();
        nbc.setCodeLength(160);
        QVERIFY(nbc.setStandardScheme(scheme));
    }
    bool train(int inputs = 1)
    {
        QList<Nb::Matrix*> owns, aliens;
        for (int i = 0; i < inputs; ++i) {
            owns << own.get();
            aliens << alien.get();
        }
        return ulvar.train(nbc, owns, aliens, codeOf(key).get(), nullptr);
    }

private slots:
    void initTestCase()
    {
        m = testModule();
        QVERIFY(m);
        std::mt19937 gen(7);
        const QVector<float> person = personVector(gen, TestModule::HandwritingFeatures);
        QList<QVector<float>> owns, aliens;
        for (int i = 0; i < 16; ++i) {
            owns << sampleOf(gen, person, 0.04f);
            aliens << foreignVector(TestModule::HandwritingFeatures, i);
        }
        own = vectors(owns.mid(0, 12));
        alien = vectors(aliens);
        live = vectors({sampleOf(gen, person, 0.004f)});
    }

    void init()
    {
        m->resetTo(TestModule::Engine);
        newContainer(0);
        QVERIFY(ulvar.load(testModulePath(), TechnologyTable[6].classId, TechnologyTable[6]));
        m->clearJournal();
    }

    void standardSchemes_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<int>("skipped"); // the alternative not taken, or -1
        for (int n : {0, 1, 2, 4, 5})
            QTest::addRow("scheme %d", n) << n << -1;
        QTest::newRow("scheme 3, fingerprint") << 3 << 0;
        QTest::newRow("scheme 6, first") << 6 << 1;
        QTest::newRow("scheme 7, second") << 7 << 0;
    }

    // Samples captured by the provider and converted by the processor; the
    // key bound by the real engine comes back from a new own sample only.
    void standardSchemes()
    {
        QFETCH(int, number);
        QFETCH(int, skipped);
        for (int row : {1, 2, 5, 6})
            m->enable(row);
        m->enable(TestModule::Engine, false);
        Dispatcher dispatcher;
        dispatcher.scan(Dispatcher::modulesPath());
        Ulvar engine;
        QVERIFY(dispatcher.getUlvar(&engine, nullptr));
        newContainer(number);
        Nb::Scheme scheme;
        nbc.scheme(scheme);
        std::mt19937 g(uint32_t(100 + number));
        QList<MatrixPtr> keep;
        QList<Nb::Matrix*> owns, aliens, lives, foreigns;
        for (Nb::SlotId input : Nb::SlotIds(scheme, Nb::StIn, 255)) {
            const Nb::Uuid technology = nbc.inputModules(input).value(0);
            const int row = technology == TechnologyTable[0].technologyId ? 1 : 5;
            Provider provider;
            Processor processor;
            QVERIFY(dispatcher.getProvider(technology, &provider, nullptr));
            QVERIFY(dispatcher.getProcessor(technology, &processor, nullptr));
            const QVector<float> person = personVector(g, row == 1 ? 480 : 256);
            const QList<int> sizes{12, 1, 1};
            for (int set = 0; set < 3; ++set) {
                BimBase images;
                QVERIFY(provider.startCapture(&images));
                for (int i = 0; i < sizes.at(set); ++i) {
                    m->queueImage(row, vectorBytes(set < 2 ? sampleOf(g, person, set ? 0.004f : 0.04f)
                                                           : personVector(g, person.size())));
                    QVERIFY(provider.capture(false));
                }
                keep << std::make_shared<Nb::Matrix>();
                QVERIFY(processor.convert(keep.last().get(), &images));
                (set == 0 ? owns : set == 1 ? lives : foreigns) << keep.last().get();
            }
            keep << std::make_shared<Nb::Matrix>();
            QVERIFY(processor.getAlienParams(keep.last().get()));
            aliens << keep.last().get();
        }
        QByteArray secret(20, '\0');
        for (char& c : secret)
            c = char(g());
        QVERIFY(engine.train(nbc, owns, aliens, codeOf(secret).get(), nullptr));
        Nb::Matrix none;
        if (skipped >= 0)
            lives[skipped] = foreigns[skipped] = &none;
        MatrixPtr code = codeOf({});
        QVERIFY(engine.extract(nbc, *code, lives));
        QCOMPARE(keyOf(*code), secret);
        QVERIFY(engine.extract(nbc, *code, foreigns));
        QVERIFY(keyOf(*code) != secret);
        for (int row : {1, 2, 5, 6})
            QCOMPARE(m->liveBuffers(row), 0);
    }

    void orderOfCalls()
    {
        QVERIFY(train());
        QCOMPARE(m->journal(TestModule::Engine),
                 QStringList({"clear", "setParams", "setConstraint(all)", "setConstraint(own)", "train", "test(1)",
                              "test(2)", "getParams", "getParams", "trainSlot(2)", "test(2)"}));
        m->clearJournal();
        QList<Nb::Matrix*> params{live.get()};
        MatrixPtr code = codeOf({});
        QVERIFY(ulvar.extract(nbc, *code, params));
        QCOMPARE(keyOf(*code), key);
        ulvar.unload();
        QCOMPARE(m->journal(TestModule::Engine),
                 QStringList({"clear", "setParams", "setConstraint(any)", "emulate", "release"}));
    }

    // The alternative not taken still hands the engine a row to read.
    void untakenAlternative()
    {
        newContainer(6);
        QVERIFY(train(2));
        Nb::Matrix none;
        QList<Nb::Matrix*> params{&none, live.get()};
        MatrixPtr code = codeOf({});
        QVERIFY(ulvar.extract(nbc, *code, params));
        QCOMPARE(keyOf(*code), key);
    }

    void failures_data()
    {
        QTest::addColumn<bool>("extraction"); // the failure comes after training
        QTest::addColumn<QString>("op");
        QTest::addColumn<uint>("code");
        QTest::addColumn<QString>("message");
        QTest::newRow("container") << false << "setParams" << 0xA0000006u << "Ошибка установки контейнера";
        QTest::newRow("foreign") << false << "setConstraint(all)" << 0xC0000021u
                                 << "Ошибка установки параметров \"Чужой\" при обучении";
        QTest::newRow("own") << false << "setConstraint(own)" << 0xC0000021u
                             << "Ошибка установки параметров \"Свой\" при обучении";
        QTest::newRow("poor quality") << false << "train" << 0xFF810038u << "Плохие данные для обучения";
        QTest::newRow("no own data") << false << "train" << 0xFF81002Bu << "Плохие данные для обучения";
        QTest::newRow("other") << false << "train" << 0xFF810024u << "Ошибка обучения";
        QTest::newRow("test") << false << "test(2)" << 0xA0000017u << "Ошибка автоматического тестирования";
        QTest::newRow("size") << false << "getParams" << 0xA0000007u << "Ошибка выгрузки контейнера (1)";
        QTest::newRow("protection") << false << "trainSlot" << 0xFF810009u << "Ошибка постобучения (2)";
        QTest::newRow("refused") << true << "setParams" << 0xA0000006u << "Ошибка установки контейнера";
        QTest::newRow("sample") << true << "setConstraint(any)" << 0xC0000021u
                                << "Ошибка установки биометрических параметров";
        QTest::newRow("code") << true << "emulate" << 0xA0000003u << "Ошибка извлечения кода";
    }

    void failures()
    {
        QFETCH(bool, extraction);
        QFETCH(QString, op);
        QFETCH(uint, code);
        QFETCH(QString, message);
        if (!extraction)
            m->fail(TestModule::Engine, op, code);
        QList<Nb::Matrix*> params{live.get()};
        MatrixPtr out = codeOf({});
        DebugCapture debug;
        QCOMPARE(thrown<Exception>([&] {
                     train();
                     if (extraction)
                         m->fail(TestModule::Engine, op, code);
                     ulvar.extract(nbc, *out, params);
                 }),
                 message);
        QCOMPARE(debug.texts().contains("errc=-1610612730"), extraction && op == "setParams");
    }

    // A trained container that cannot be taken back leaves the container as
    // it was: the enrolment is not replaced by nothing.
    void unreadableParams_data()
    {
        QTest::addColumn<bool>("garble");
        QTest::addColumn<int>("length");
        QTest::addColumn<QString>("message");
        QTest::newRow("no container") << true << 0 << "Ошибка выгрузки контейнера (2)";
        QTest::newRow("negative length") << false << -5 << "Ошибка выгрузки контейнера (1)";
        QTest::newRow("huge length") << false << 0x7FFFFFF0 << "Ошибка выгрузки контейнера (1)";
    }

    void unreadableParams()
    {
        QFETCH(bool, garble);
        QFETCH(int, length);
        QFETCH(QString, message);
        m->garbleParams(garble);
        m->askParamsLength(length);
        QByteArray before, after;
        nbc.toBytes(before);
        QCOMPARE(thrown<Exception>([&] { train(); }), message);
        nbc.toBytes(after);
        QCOMPARE(after, before);
    }

    // Which engine test fills which figure: own samples the first, foreign
    // ones the second, and again after post-training the third.
    void figuresFromEngineTests()
    {
        m->queueFigure(Nb::TmE1Bio, 0.25f);
        m->queueFigure(Nb::TmE2Bio, 0.5f);
        m->queueFigure(Nb::TmE2Bio, 0.125f);
        QList<Nb::Matrix*> owns{own.get()}, aliens{alien.get()};
        TrainResult figures;
        QVERIFY(ulvar.train(nbc, owns, aliens, codeOf(key).get(), &figures));
        QCOMPARE(figures.errorI(), 0.25f);
        QCOMPARE(figures.errorII(), 0.5f);
        QCOMPARE(figures.errorIIProtected(), 0.125f);
    }

    void heldOutFollowsRejection_data()
    {
        QTest::addColumn<int>("scheme");
        QTest::addColumn<bool>("alternatives"); // an attempt takes one input
        QTest::newRow("one input") << 0 << false;
        QTest::newRow("both inputs") << 4 << false;
        QTest::newRow("either input") << 6 << true;
    }

    // Across twenty owners of growing spread, the estimate agrees with the
    // share of their fresh samples that the container trained on all twelve
    // turns away.
    void heldOutFollowsRejection()
    {
        QFETCH(int, scheme);
        QFETCH(bool, alternatives);
        newContainer(scheme);
        const Nbc untrained = nbc;
        const int inputs = scheme ? 2 : 1;
        double estimated = 0;
        int refused = 0;
        for (int p = 0; p < 20; ++p) {
            std::mt19937 gen(uint32_t(300 + p));
            QList<MatrixPtr> owns, fresh;
            for (int i = 0; i < inputs; ++i) {
                const QVector<float> mean = personVector(gen, TestModule::HandwritingFeatures);
                owns << samplesOf(gen, mean, 0.40f + 0.02f * float(p), 12);
                fresh << samplesOf(gen, mean, 0.40f + 0.02f * float(p), 40);
            }
            QList<Nb::Matrix*> learn{owns[0].get(), owns.value(1).get()}, aliens{alien.get(), alien.get()};
            estimated += double(ulvar.heldOutRejection(untrained, learn, aliens, codeOf(key).get())) / 20;
            Nbc trained = untrained;
            QVERIFY(ulvar.train(trained, learn, aliens, codeOf(key).get(), nullptr));
            for (int k = 0; k < 40; ++k) {
                QList<MatrixPtr> taken;
                QList<Nb::Matrix*> params;
                for (int i = 0; i < inputs; ++i) {
                    const bool used = !alternatives || i == k % 2;
                    taken << std::make_shared<Nb::Matrix>(used ? 1 : 0, fresh[i]->meta(0));
                    if (used)
                        Nb::Matrix::Row(taken[i].get(), 0).copyCell(Nb::Matrix::Row(fresh[i].get(), 0), k, 0);
                    params << taken[i].get();
                }
                MatrixPtr code = codeOf({});
                QVERIFY(ulvar.extract(trained, *code, params));
                refused += keyOf(*code) != key;
            }
        }
        const double measured = refused / 800.0;
        const QByteArray figures = QByteArray::number(estimated) + " against " + QByteArray::number(measured);
        QVERIFY2(measured > 0.05 && measured < 0.7, figures);
        QVERIFY2(estimated > measured / 2 && estimated < measured * 2, figures);
    }

    // One round per sample; a round the engine cannot train turns its
    // attempts away; two samples leave none to hold out.
    void heldOutRounds()
    {
        m->fail(TestModule::Engine, "train", 0xFF810038u, 12);
        QList<Nb::Matrix*> owns{own.get()}, aliens{alien.get()};
        QCOMPARE(ulvar.heldOutRejection(nbc, owns, aliens, codeOf(key).get()), 1.0f);
        QCOMPARE(m->journal(TestModule::Engine).count("train"), 12);
        MatrixPtr two = std::make_shared<Nb::Matrix>(2, own->meta(0));
        owns = {two.get()};
        QVERIFY(qIsNaN(ulvar.heldOutRejection(nbc, owns, aliens, codeOf(key).get())));
    }

    // Shapes the engine would read past are refused before it is called.
    void refusedShapes()
    {
        QVERIFY(train());
        m->clearJournal();
        QList<Nb::Matrix*> none, params{live.get()};
        const Nb::Meta metas[2] = {Nb::Meta(160, Nb::MfI1, Nb::MtDO), Nb::Meta(160, Nb::MfI1, Nb::MtDO)};
        Nb::Matrix twoRows(2, 1, metas);
        QCOMPARE(thrown<Exception>([&] { ulvar.extract(nbc, twoRows, params); }), QString("Ошибка извлечения кода"));
        QCOMPARE(thrown<Exception>([&] { ulvar.train(nbc, none, none, codeOf(key).get(), nullptr); }),
                 QString("Ошибка установки параметров \"Чужой\" при обучении"));
        QCOMPARE(m->journal(TestModule::Engine), QStringList({"clear", "setParams"}));
    }
};

QTEST_MAIN(TestUlvar)
#include "tst_ulvar.moc"

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

MatrixPtr column(const Nb::Matrix& m, int32_t c)
{
    auto one = std::make_shared<Nb::Matrix>(1, m.meta(0));
    Nb::Matrix::Row(one.get(), 0).copyCell(Nb::Matrix::Row(&m, 0), c, 0);
    return one;
}

// A synthetic owner of a scheme's inputs: one mean vector per input, whose
// samples add Gaussian noise of the owner's spread.
struct Owner {
    Owner(const Nb::Scheme& scheme, uint32_t seed, float spread) : gen(seed), noise(0.0f, spread)
    {
        for (Nb::SlotId id : Nb::SlotIds(scheme, Nb::StIn, 255))
            means << personVector(gen, scheme.at(id)->meta().count);
    }
    MatrixPtr samples(int input, int count)
    {
        QList<QVector<float>> list;
        for (int i = 0; i < count; ++i) {
            QVector<float> v = means.at(input);
            for (float& x : v)
                x += noise(gen);
            list << v;
        }
        return vectors(list);
    }
    // The foreign vectors a processor hands out for the input.
    MatrixPtr aliens(int input) const
    {
        QList<QVector<float>> list;
        for (int i = 0; i < TestModule::ForeignVectors; ++i)
            list << foreignVector(means.at(input).size(), i);
        return vectors(list);
    }

    std::mt19937 gen;
    std::normal_distribution<float> noise;
    QList<QVector<float>> means;
};

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
        QTest::newRow("both inputs") << 2 << false;
        QTest::newRow("either input") << 6 << true;
    }

    // Across twenty owners of growing spread, the estimate agrees with the
    // share of their fresh samples that the container trained on all twelve
    // turns away.
    void heldOutFollowsRejection()
    {
        QFETCH(int, scheme);
        QFETCH(bool, alternatives);
        constexpr int Owners = 20, Fresh = 40;
        newContainer(scheme);
        Nb::Scheme layout;
        nbc.scheme(layout);
        const Nbc untrained = nbc;
        double estimated = 0;
        int refused = 0, attempts = 0;
        for (int p = 0; p < Owners; ++p) {
            Owner owner(layout, uint32_t(300 + p), 0.45f + 0.02f * float(p));
            QList<MatrixPtr> keep;
            QList<Nb::Matrix*> owns, aliens, fresh;
            for (int i = 0; i < owner.means.size(); ++i) {
                keep << owner.samples(i, 12) << owner.aliens(i) << owner.samples(i, Fresh);
                owns << keep.at(keep.size() - 3).get();
                aliens << keep.at(keep.size() - 2).get();
                fresh << keep.last().get();
            }
            estimated += double(ulvar.heldOutRejection(untrained, owns, aliens, codeOf(key).get())) / Owners;
            Nbc trained = untrained;
            QVERIFY(ulvar.train(trained, owns, aliens, codeOf(key).get(), nullptr));
            for (int k = 0; k < Fresh; ++k) {
                QList<MatrixPtr> taken;
                QList<Nb::Matrix*> params;
                for (int i = 0; i < fresh.size(); ++i) {
                    taken << (alternatives && i != k % 2 ? std::make_shared<Nb::Matrix>() : column(*fresh.at(i), k));
                    params << taken.last().get();
                }
                MatrixPtr code = codeOf({});
                QVERIFY(ulvar.extract(trained, *code, params));
                refused += keyOf(*code) != key;
                ++attempts;
            }
        }
        const double measured = double(refused) / attempts;
        const QByteArray figures = QByteArray::number(estimated) + " against " + QByteArray::number(measured);
        QVERIFY2(measured > 0.05 && measured < 0.5, figures);
        QVERIFY2(estimated > measured / 2 && estimated < measured * 2, figures);
    }

    void heldOutRounds_data()
    {
        QTest::addColumn<int>("samples");
        QTest::addColumn<int>("refused"); // rounds the engine refuses to train
        QTest::addColumn<float>("least"); // the share at least turned away
        QTest::newRow("two samples: none to spare") << 2 << 0 << float(NAN);
        QTest::newRow("three samples") << 3 << 0 << 0.0f;
        QTest::newRow("twelve samples") << 12 << 0 << 0.0f;
        QTest::newRow("one round refused") << 12 << 1 << 1.0f / 12;
        QTest::newRow("every round refused") << 12 << 12 << 1.0f;
    }

    // One round per sample, each holding one out; a round the engine cannot
    // train turns its attempts away. The engine sees the trainings only.
    void heldOutRounds()
    {
        QFETCH(int, samples);
        QFETCH(int, refused);
        QFETCH(float, least);
        MatrixPtr some = std::make_shared<Nb::Matrix>(samples, own->meta(0));
        for (int c = 0; c < samples; ++c)
            Nb::Matrix::Row(some.get(), 0).copyCell(Nb::Matrix::Row(own.get(), 0), c, c);
        if (refused)
            m->fail(TestModule::Engine, "train", 0xFF810038u, refused);
        QList<Nb::Matrix*> owns{some.get()}, aliens{alien.get()};
        const float got = ulvar.heldOutRejection(nbc, owns, aliens, codeOf(key).get());
        // (Each training draws a fresh code assignment: the share of the
        // rounds that learnt varies from run to run.)
        QCOMPARE(qIsNaN(got), qIsNaN(least));
        QVERIFY(qIsNaN(least) || (got >= least && got <= 1));
        QCOMPARE(m->journal(TestModule::Engine).count("train"), qIsNaN(least) ? 0 : samples);
        QCOMPARE(m->journal(TestModule::Engine).count("emulate"), qIsNaN(least) ? 0 : samples - refused);
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

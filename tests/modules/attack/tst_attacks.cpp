// Stolen containers must not open the store. Persons of both input modules
// enrol through the real processor and engine (standard scheme 0 for
// handwriting, 1 for a fingerprint, 20-byte keys); from each container's
// bytes alone, every attack of the attack rig makes its best guess, and the
// guess with up to 4 of its 20 least certain bits flipped is tried against
// the store's check value. The owner's own mean parameters, run through the
// same stolen layer, must open it, so that a rig that reads the container
// wrongly cannot pass for a strong defence.

#include <map>
#include <memory>

#include <QtTest>

#include "AttackRig.h"
#include "Enrolment.h"

using namespace attack;

namespace {

#if defined(__SANITIZE_ADDRESS__)
// The sanitised build runs the same attacks on fewer containers: enrolment
// there takes several times as long.
constexpr int Containers = 6;
#else
constexpr int Containers = 20;
#endif

// Writers of the handwriting containers: none the features were tuned on.
constexpr uint32_t PenSeed = 61000;
// Fingers of the fingerprint containers: loops and whorls, for arches are
// not enrolled at all (the processor makes no template for them). Tried so:
// the plain arch 310020, the tented arches 310003 and 310076.
constexpr uint32_t FingerSeeds[] = {310000, 310001, 310002, 310005, 310006, 310007, 310008, 310009, 310010, 310011,
                                    310012, 310013, 310014, 310015, 310016, 310017, 310018, 310019, 310021, 310022};
constexpr uint32_t Arches[] = {310020, 310003, 310076};
static_assert(sizeof(FingerSeeds) / sizeof(FingerSeeds[0]) >= size_t(Containers), "a finger for every container");

QByteArray keyFor(uint32_t n)
{
    QByteArray k(20, '\0');
    uint32_t v = n * 2654435761u + 12345u;
    for (char& c : k) {
        v = v * 1664525u + 1013904223u;
        c = char(v >> 24);
    }
    return k;
}

// The mean of the owner's samples, for the control only.
std::vector<float> ownMean(const Enrolled& e)
{
    const size_t features = e.own.size() / size_t(e.samples);
    std::vector<float> mean(features, 0.0f);
    for (int32_t s = 0; s < e.samples; ++s)
        for (size_t f = 0; f < features; ++f)
            mean[f] += e.own[size_t(s) * features + f] / float(e.samples);
    return mean;
}

} // namespace

class TestAttacks : public QObject {
    Q_OBJECT

private slots:
    void widening_data()
    {
        QTest::addColumn<QList<int>>("flipped");
        QTest::addColumn<bool>("opens");
        // Positions in the order of certainty, 0 the least certain.
        QTest::newRow("the guess itself") << QList<int>{} << true;
        QTest::newRow("one weak bit") << QList<int>{7} << true;
        QTest::newRow("four weak bits") << QList<int>{0, 5, 13, 19} << true;
        QTest::newRow("five weak bits") << QList<int>{0, 1, 2, 3, 4} << false;
        QTest::newRow("one sure bit") << QList<int>{20} << false;
    }

    void widening()
    {
        QFETCH(QList<int>, flipped);
        QFETCH(bool, opens);
        const QByteArray key = keyFor(1);
        const Store store(key);
        QVERIFY(store.isValid());
        Bc::Layer layer;
        layer.neurons.resize(160);
        // Neuron i is the (i * 37 % 160)-th least certain.
        Guess g{QStringLiteral("known"), std::vector<float>(160), false};
        for (int i = 0; i < 160; ++i) {
            const int rank = i * 37 % 160;
            const bool bit = (uint8_t(key[i / 8]) >> (i % 8)) & 1;
            g.score[size_t(i)] = float(rank + 1) * (bit != flipped.contains(rank) ? 1.0f : -1.0f);
        }
        const Outcome o = widen(layer, g, store, key);
        QCOMPARE(o.opened, opens);
        QCOMPARE(o.wrongBits, int(flipped.size()));
        QCOMPARE(o.tried, WidenCandidates);
    }

    void stolenContainers_data()
    {
        QTest::addColumn<int>("modality");
        QTest::addColumn<QString>("attacks");
        QTest::addColumn<int>("tolerated"); // containers a known weakness may open
        QTest::newRow("handwriting, sign votes") << int(Modality::Pen) << "votes" << 0;
        // No look-alike writer's sample, widened, opens any of the twenty
        // containers (none in any run yet): the writing's speed tells it apart,
        // and a short word of tall letters is turned back the same way in
        // every sample, so that its owner's weights are not spread thin.
        QTest::newRow("handwriting, foreign samples") << int(Modality::Pen) << "foreign" << 0;
        QTest::newRow("fingerprint, sign votes") << int(Modality::Finger) << "votes" << 0;
        // A stranger's finger of the owner's pattern class gives the key for
        // about one press in fifty thousand (bench_modules_finger): no
        // container opened in twelve runs, but a built-in look-alike,
        // widened, may open one now and then: one is let pass.
        QTest::newRow("fingerprint, foreign samples") << int(Modality::Finger) << "foreign" << 1;
        QTest::newRow("fingerprint, template read")
            << int(Modality::Finger) << "template" << 0;
        QTest::newRow("handwriting, template read") << int(Modality::Pen) << "template" << 0;
    }

    void stolenContainers()
    {
        QFETCH(int, modality);
        QFETCH(QString, attacks);
        QFETCH(int, tolerated);
        const std::vector<Case>& cases = enrolled(Modality(modality));
        QVERIFY(!QTest::currentTestFailed());
        QStringList opened;
        QSet<size_t> containers;
        for (size_t c = 0; c < cases.size(); ++c) {
            const Case& k = cases[c];
            std::vector<Guess> guesses = voteAttacks(k.stolen.layer);
            if (attacks == QLatin1String("foreign")) {
                guesses = foreignAttacks(k.stolen.layer, *k.aliens, guesses.back());
                QVERIFY(!guesses.empty());
            } else if (attacks == QLatin1String("template")) {
                // The template holds the population's centres and scales
                // alone: the parameters it gives are the centre's, about 0.
                const std::vector<float> centre(size_t(k.stolen.layer.in), 0.0f);
                guesses = {sampleGuess(QStringLiteral("template read"), k.stolen.layer, centre.data())};
            }
            for (const Guess& g : guesses) {
                const Outcome o = widen(k.stolen.layer, g, *k.store, k.enrolled.key);
                if (o.opened) {
                    opened << QStringLiteral("container %1 (%2)").arg(c).arg(o.name);
                    containers << c;
                }
            }
        }
        // A tolerated opening passes; the log still says which it was.
        if (!opened.isEmpty())
            qInfo().noquote() << "opened:" << opened.join(QStringLiteral(", "));
        QVERIFY2(containers.size() <= tolerated,
                 qPrintable(QStringLiteral("opened: ") + opened.join(QStringLiteral(", "))));
    }

private:
    struct Case {
        Enrolled enrolled;
        Stolen stolen;
        std::shared_ptr<Store> store;
        std::shared_ptr<Nb::Matrix> aliens;
    };

    // The containers of one module, enrolled on first use; the owner's
    // mean parameters must open each through the stolen layer.
    const std::vector<Case>& enrolled(Modality m)
    {
        std::vector<Case>& cases = m_cases[int(m)];
        if (!cases.empty())
            return cases;
        Enroller enroller(m, m == Modality::Pen ? NBPEN_MODULE_PATH : FINGER_MODULE_PATH, ULVAR_MODULE_PATH);
        [&] {
            QVERIFY(enroller.isReady());
            for (uint32_t seed : Arches) {
                Enrolled refused;
                QVERIFY2(m == Modality::Pen || !enroller.enrol(seed, keyFor(seed), refused), "an arch was enrolled");
            }
            for (int c = 0; c < Containers; ++c) {
                Case k;
                const uint32_t seed = m == Modality::Pen ? PenSeed + uint32_t(c) : FingerSeeds[c];
                QVERIFY(enroller.enrol(seed, keyFor(seed), k.enrolled));
                QVERIFY(k.stolen.read(k.enrolled.container));
                QVERIFY(k.stolen.templ);
                k.store = std::make_shared<Store>(k.enrolled.key);
                QVERIFY(k.store->isValid());
                k.aliens = std::make_shared<Nb::Matrix>();
                QVERIFY(enroller.aliens(k.stolen, *k.aliens));
                const std::vector<float> mean = ownMean(k.enrolled);
                const Guess owner = sampleGuess(QStringLiteral("owner"), k.stolen.layer, mean.data());
                QVERIFY2(widen(k.stolen.layer, owner, *k.store, k.enrolled.key).opened,
                         "the owner's mean parameters do not open the store through the stolen layer");
                cases.push_back(k);
            }
        }();
        if (QTest::currentTestFailed())
            cases.clear();
        return cases;
    }

    std::map<int, std::vector<Case>> m_cases;
};

QTEST_MAIN(TestAttacks)
#include "tst_attacks.moc"

// The directions that tell fingers apart against a finger's own noise, and
// the symmetric eigen solver beneath them.

#include <cmath>
#include <random>

#include <QtTest>

#include "modules/finger/Discriminant.h"

using namespace Finger;

namespace {

// How far apart the outputs of two parameter vectors lie.
double outputsApart(const Discriminant& d, const Discriminant::Vector& a, const Discriminant::Vector& b)
{
    Discriminant::Vector x, y;
    d.apply(a.data(), x.data());
    d.apply(b.data(), y.data());
    double s = 0;
    for (int i = 0; i < Discriminant::Outputs; ++i)
        s += double(x[size_t(i)] - y[size_t(i)]) * (x[size_t(i)] - y[size_t(i)]);
    return std::sqrt(s);
}

} // namespace

class TestDiscriminant : public QObject {
    Q_OBJECT
private slots:
    void eigen_data();
    void eigen();
    void favoursWhatTellsFingersApart();
    void movesOffTheKindsMean();
    void directionsByKind_data();
    void directionsByKind();
};

void TestDiscriminant::eigen_data()
{
    QTest::addColumn<int>("n");
    QTest::addColumn<QVector<double>>("matrix");
    QTest::newRow("diagonal, unsorted") << 3 << QVector<double>{1, 0, 0, 0, 3, 0, 0, 0, 2};
    QTest::newRow("full, one negative") << 3 << QVector<double>{4, 1, 2, 1, 3, 0, 2, 0, 1};
    QTest::newRow("repeated value") << 2 << QVector<double>{2, 0, 0, 2};
}

void TestDiscriminant::eigen()
{
    QFETCH(int, n);
    QFETCH(QVector<double>, matrix);
    std::vector<double> values, vectors;
    symmetricEigen(std::vector<double>(matrix.begin(), matrix.end()), n, values, vectors);
    for (int k = 0; k < n; ++k) {
        if (k > 0)
            QVERIFY(values[size_t(k - 1)] >= values[size_t(k)]);
        double norm = 0;
        for (int i = 0; i < n; ++i) {
            double av = 0;
            for (int j = 0; j < n; ++j)
                av += matrix[i * n + j] * vectors[size_t(j * n + k)];
            QVERIFY(std::fabs(av - values[size_t(k)] * vectors[size_t(i * n + k)]) < 1e-9);
            norm += vectors[size_t(i * n + k)] * vectors[size_t(i * n + k)];
        }
        QVERIFY(std::fabs(norm - 1.0) < 1e-9);
    }
}

// Parameter 0 varies widely over fingers and as widely from one impression
// to the next; parameter 1 varies less over fingers but hardly at all
// within one. The strongest direction reads parameter 1, and a finger's
// impressions vary along it by about the gain times one.
void TestDiscriminant::favoursWhatTellsFingersApart()
{
    std::mt19937 gen(7);
    std::normal_distribution<float> normal;
    auto finger = [&](float a, float b, float noise0, float noise1) {
        Discriminant::Vector v;
        for (float& x : v)
            x = 0.3f * normal(gen);
        v[0] = a + noise0 * normal(gen);
        v[1] = b + noise1 * normal(gen);
        return v;
    };
    std::vector<Discriminant::Vector> population;
    std::vector<std::vector<Discriminant::Vector>> repeats(100);
    for (int f = 0; f < 400; ++f)
        population.push_back(finger(3 * normal(gen), normal(gen), 3, 0.1f));
    for (std::vector<Discriminant::Vector>& r : repeats) {
        const float a = 3 * normal(gen), b = normal(gen);
        for (int k = 0; k < 4; ++k)
            r.push_back(finger(a, b, 3, 0.1f));
    }
    const Discriminant d = Discriminant::fit(population, repeats);
    QVERIFY(!d.isNull());
    QVERIFY(d.ratio(0) > 20.0);
    Discriminant::Vector a = finger(0, 0, 0, 0), b = a, out;
    b[1] += 0.1f;
    d.apply(a.data(), out.data());
    const float at = out[0];
    d.apply(b.data(), out.data());
    const float gainPerNoise = std::fabs(out[0] - at);
    b = a;
    b[0] += 3.0f;
    d.apply(b.data(), out.data());
    QVERIFY(std::fabs(out[0] - at) < 0.2f * gainPerNoise);
    QVERIFY(gainPerNoise > 0.02f && gainPerNoise < 0.08f);
}

// Two kinds of finger whose flow (parameter 2) lies far apart: told their
// kinds, the outputs of the two kinds' means lie seven tenths as far apart
// as without, so that a plane through the centre puts a whole kind on one
// side less often.
void TestDiscriminant::movesOffTheKindsMean()
{
    std::mt19937 gen(11);
    std::normal_distribution<float> normal;
    auto finger = [&](int kind, float b) {
        Discriminant::Vector v;
        for (float& x : v)
            x = 0.3f * normal(gen);
        v[1] = b + 0.1f * normal(gen);
        v[2] = (kind == 1 ? -4.0f : 4.0f) + 0.3f * normal(gen);
        return v;
    };
    // Two kinds of loop: arches would give no directions.
    std::vector<Discriminant::Vector> population;
    std::vector<int> kinds;
    std::vector<std::vector<Discriminant::Vector>> repeats(100);
    for (int f = 0; f < 400; ++f) {
        kinds.push_back(1 + f % 2);
        population.push_back(finger(1 + f % 2, normal(gen)));
    }
    for (size_t f = 0; f < repeats.size(); ++f) {
        const float b = normal(gen);
        for (int k = 0; k < 4; ++k)
            repeats[f].push_back(finger(1 + int(f % 2), b));
    }
    Discriminant::Vector a{}, b{};
    a[2] = 4.0f;
    b[2] = -4.0f;
    auto apart = [&](const Discriminant& d) { return outputsApart(d, a, b); };
    const double told = apart(Discriminant::fit(population, repeats, kinds));
    const double untold = apart(Discriminant::fit(population, repeats));
    // Both kinds' means move eight tenths of the way.
    QVERIFY2(told > 0.1 * untold && told < 0.3 * untold, qPrintable(QString::number(told / untold)));
}

void TestDiscriminant::directionsByKind_data()
{
    QTest::addColumn<int>("varied"); // the kind whose telling parameter is moved
    QTest::addColumn<int>("probe");  // the kind of the impression moved
    QTest::addColumn<bool>("seen");
    QTest::newRow("arch") << int(Discriminant::Arch) << int(Discriminant::Arch) << false;
    QTest::newRow("loop") << int(Discriminant::LeftLoop) << int(Discriminant::LeftLoop) << true;
    QTest::newRow("whorl") << int(Discriminant::Whorl) << int(Discriminant::Whorl) << true;
    QTest::newRow("whorl's parameter in a loop") << int(Discriminant::Whorl) << int(Discriminant::LeftLoop) << false;
    QTest::newRow("loop's parameter in a whorl") << int(Discriminant::LeftLoop) << int(Discriminant::Whorl) << false;
}

// Arches are not enrolled: what tells one arch from another gets no weight.
// Loops and whorls each take what tells fingers of their own kind apart.
void TestDiscriminant::directionsByKind()
{
    QFETCH(int, varied);
    QFETCH(int, probe);
    QFETCH(bool, seen);
    // Parameter 1 tells arches apart, 3 loops, 4 whorls; 2 and 5 the kinds.
    const auto telling = [](int kind) { return kind == Discriminant::Arch ? 1 : kind == Discriminant::Whorl ? 4 : 3; };
    const auto place = [](Discriminant::Vector& v, int kind) {
        v[2] = kind == Discriminant::Arch ? 4.0f : kind == Discriminant::Whorl ? 0.0f : -4.0f;
        v[5] = kind == Discriminant::Whorl ? 4.0f : 0.0f;
    };
    std::mt19937 gen(12);
    std::normal_distribution<float> normal;
    auto finger = [&](int kind, float b) {
        Discriminant::Vector v;
        for (float& x : v)
            x = 0.3f * normal(gen);
        v[size_t(telling(kind))] = b + 0.1f * normal(gen);
        place(v, kind);
        v[2] += 0.3f * normal(gen);
        return v;
    };
    const int kindList[] = {Discriminant::Arch, Discriminant::LeftLoop, Discriminant::Whorl};
    std::vector<Discriminant::Vector> population;
    std::vector<int> kinds;
    std::vector<std::vector<Discriminant::Vector>> repeats(150);
    for (int f = 0; f < 600; ++f) {
        kinds.push_back(kindList[f % 3]);
        population.push_back(finger(kinds.back(), normal(gen)));
    }
    for (size_t f = 0; f < repeats.size(); ++f) {
        const float b = normal(gen);
        for (int k = 0; k < 4; ++k)
            repeats[f].push_back(finger(kinds[f], b));
    }
    const Discriminant d = Discriminant::fit(population, repeats, kinds);
    auto apart = [&d, &place](int at, int kind) {
        Discriminant::Vector a{}, b{};
        place(a, kind);
        place(b, kind);
        a[size_t(at)] = 1.0f;
        b[size_t(at)] = -1.0f;
        return outputsApart(d, a, b);
    };
    const double moved = apart(telling(varied), probe), loops = apart(telling(Discriminant::LeftLoop), Discriminant::LeftLoop);
    QVERIFY2(seen ? moved > 0.7 * loops : moved < 0.3 * loops, qPrintable(QString::number(moved / loops)));
}

QTEST_APPLESS_MAIN(TestDiscriminant)
#include "tst_discriminant.moc"

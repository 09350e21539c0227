#include "bc/NeuralMath.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include <QtTest>

#include "DebugCapture.h"

using namespace Bc;
using Nb::Cell;
using F = std::vector<float>;

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();

template <typename T>
Cell cellOf(std::vector<T>& v)
{
    return Cell(reinterpret_cast<uint8_t*>(v.data()));
}

// Sample rows as cells, one per sample.
struct RowSet {
    explicit RowSet(std::vector<F> r) : rows(std::move(r))
    {
        for (auto& row : rows)
            cells.push_back(cellOf(row));
    }
    const Cell* data() const { return cells.data(); }
    std::vector<F> rows;
    std::vector<Cell> cells;
};

bool allNaN(std::initializer_list<float> values)
{
    return std::all_of(values.begin(), values.end(), [](float x) { return std::isnan(x); });
}

} // namespace

class TestNeuralMath : public QObject {
    Q_OBJECT
private slots:
    void roundDigits_data();
    void roundDigits();
    void quality_data();
    void quality();
    void sortWithCompanion();
    void sortAgainstReference_data();
    void sortAgainstReference();
    void sortWithNaNStaysInRange();
    void stats();
    void emptyAndNaNPropagate();
    void columnsStats();
    void correlations();
    void extremes();
    void divergence();
    void bitsAndSigns();
    void gaussAndProbability();
    void nullInputIsRefused();
};

void TestNeuralMath::roundDigits_data()
{
    QTest::addColumn<float>("x");
    QTest::addColumn<int>("digits");
    QTest::addColumn<float>("expected");
    QTest::newRow("2.345 to 2") << 2.345f << 2 << 2.35f;
    QTest::newRow("-1.5 to 0") << -1.5f << 0 << -1.0f;
    QTest::newRow("-2.6 to 0") << -2.6f << 0 << -3.0f;
    QTest::newRow("1250 to -2") << 1250.0f << -2 << 1300.0f;
}

void TestNeuralMath::roundDigits()
{
    QFETCH(float, x);
    QFETCH(int, digits);
    QFETCH(float, expected);
    QCOMPARE(NeuralMath::roundDigits(x, digits), expected);
}

void TestNeuralMath::quality_data()
{
    QTest::addColumn<float>("mean");
    QTest::addColumn<float>("sigma");
    QTest::addColumn<float>("expected");
    QTest::newRow("sigma 0, mean not 0") << 0.5f << 0.0f << 16.0f;
    QTest::newRow("sigma 0, mean 0") << 0.0f << 0.0f << 0.0f;
    QTest::newRow("negative mean") << -3.0f << 2.0f << 1.5f;
    QTest::newRow("NaN sigma is not 0") << 1.0f << kNaN << kNaN;
    // No flush-to-zero: 2^-128 stays a non-zero subnormal.
    QTest::newRow("subnormal sigma") << std::ldexp(1.0f, -140) << std::ldexp(1.0f, -128)
                                     << std::ldexp(1.0f, -12);
}

void TestNeuralMath::quality()
{
    QFETCH(float, mean);
    QFETCH(float, sigma);
    QFETCH(float, expected);
    const float q = NeuralMath::quality(mean, sigma);
    QVERIFY(std::isnan(expected) ? std::isnan(q) : q == expected);
}

void TestNeuralMath::sortWithCompanion()
{
    float v[] = {3, 1, 2};
    int32_t c[] = {0, 1, 2};
    NeuralMath::sort(v, c, 3);
    QCOMPARE(F(v, v + 3), (F{1, 2, 3}));
    QCOMPARE(std::vector<int32_t>(c, c + 3), (std::vector<int32_t>{1, 2, 0}));
    int32_t iv[] = {5, -7, 0};
    NeuralMath::sort(iv, c, 3);
    QCOMPARE(std::vector<int32_t>(c, c + 3), (std::vector<int32_t>{2, 0, 1}));
    // Ties follow the partition's swaps, worked out by hand: pivot v[2] = 2
    // swaps 0 and 3, then [0, 1] with pivot v[1] = 1 swaps 0 and 1. A pivot
    // at (first + last) / 2 would give 3, 1, 0, 2.
    float ties[] = {2, 1, 2, 1};
    int32_t order[] = {0, 1, 2, 3};
    NeuralMath::sort(ties, order, 4);
    QCOMPARE(F(ties, ties + 4), (F{1, 1, 2, 2}));
    QCOMPARE(std::vector<int32_t>(order, order + 4), (std::vector<int32_t>{1, 3, 2, 0}));
}

void TestNeuralMath::sortAgainstReference_data()
{
    QTest::addColumn<int>("pattern");
    QTest::addColumn<int>("n");
    QTest::newRow("random") << 0 << 5000;
    QTest::newRow("few distinct") << 1 << 5000;
    QTest::newRow("ascending") << 2 << 100000;
    QTest::newRow("descending") << 3 << 100000;
    QTest::newRow("all equal") << 4 << 100000;
    QTest::newRow("organ pipe") << 5 << 20000; // quadratic for a middle pivot
    QTest::newRow("two elements") << 3 << 2;
}

void TestNeuralMath::sortAgainstReference()
{
    QFETCH(int, pattern);
    QFETCH(int, n);
    std::mt19937 gen(7);
    std::vector<int32_t> ints(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        const int32_t values[] = {int32_t(gen()), int32_t(gen() % 4), i, n - i, 9, i < n / 2 ? i : n - i};
        ints[size_t(i)] = values[pattern];
    }
    std::vector<int32_t> reference = ints, sortedInts = ints;
    std::sort(reference.begin(), reference.end());
    NeuralMath::sort(sortedInts.data(), uint32_t(n));
    QCOMPARE(sortedInts, reference);

    const F floats(ints.begin(), ints.end());
    F sortedFloats = floats;
    std::vector<int32_t> index(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        index[size_t(i)] = i;
    NeuralMath::sort(sortedFloats.data(), index.data(), uint32_t(n));
    QVERIFY(std::is_sorted(sortedFloats.begin(), sortedFloats.end()));
    for (int i = 0; i < n; ++i)
        QCOMPARE(sortedFloats[size_t(i)], floats[size_t(index[size_t(i)])]);
}

void TestNeuralMath::sortWithNaNStaysInRange()
{
    // NaN compares false both ways; the scans must still stop inside the
    // range (the sanitizer run watches) and the companion follow its values.
    const std::vector<F> cases = {{kNaN}, {kNaN, kNaN, kNaN}, {3, kNaN, 1}, {kNaN, 2, 1, 0},
                                  {5, 4, 3, kNaN, kNaN, 2, 1, 0, -1}};
    for (const F& original : cases) {
        F v = original;
        std::vector<int32_t> c(v.size());
        for (size_t i = 0; i < c.size(); ++i)
            c[i] = int32_t(i);
        NeuralMath::sort(v.data(), c.data(), uint32_t(v.size()));
        std::vector<int32_t> seen = c;
        std::sort(seen.begin(), seen.end());
        for (size_t i = 0; i < c.size(); ++i) {
            QCOMPARE(seen[i], int32_t(i));
            const float expected = original[size_t(c[i])];
            QVERIFY(std::isnan(expected) ? std::isnan(v[i]) : v[i] == expected);
        }
    }
}

void TestNeuralMath::stats()
{
    F f = {1, 2, 3, 4};
    std::vector<int32_t> i = {1, 2, 3, 4};
    float m = 0, s = 0, q = 0, mi = 0, si = 0, qi = 0;
    NeuralMath::stats(cellOf(f), 4, m, s, q);
    NeuralMath::statsI32(cellOf(i), 4, mi, si, qi);
    QCOMPARE(m, 2.5f);
    QCOMPARE(s, float(std::sqrt(1.25)));
    QCOMPARE(q, 2.5f / float(std::sqrt(1.25)));
    QVERIFY(mi == m && si == s && qi == q);
    // Population deviation about the given mean, not the sample's own.
    QCOMPARE(NeuralMath::sigma(cellOf(f), 4, 0.0f), float(std::sqrt(7.5)));
    QCOMPARE(NeuralMath::curve(2.0f), 0.221f * 2.0f * 2.0f + 0.87f);

    // Summed in float, each 1 would vanish against 2^24.
    F big = {16777216.0f, 1, 1, 1, 1};
    QCOMPARE(NeuralMath::mean(cellOf(big), 5), 3355444.0f);
    RowSet rows({{16777216.0f}, {1}, {1}, {1}, {1}});
    QCOMPARE(NeuralMath::columnMean(rows.data(), 5, 0), 3355444.0f);
    // Subnormal means stay subnormal.
    F tiny = {std::ldexp(1.0f, -128), std::ldexp(1.0f, -128)};
    QCOMPARE(NeuralMath::mean(cellOf(tiny), 2), std::ldexp(1.0f, -128));
}

void TestNeuralMath::emptyAndNaNPropagate()
{
    float m = 0, s = 0, q = 0;
    NeuralMath::stats(Cell(), 0, m, s, q);
    QVERIFY(allNaN({m, s, q}));
    NeuralMath::statsI32(Cell(), 0, m, s, q);
    QVERIFY(allNaN({m, s, q}));
    NeuralMath::columnStats(nullptr, 0, 3, m, s, q);
    QVERIFY(allNaN({m, s, q}));
    QVERIFY(allNaN({NeuralMath::correlation(nullptr, nullptr, 0, 0, 0), NeuralMath::bitMean(nullptr, 0, 0)}));
    F withNaN = {1, kNaN, 3};
    NeuralMath::stats(cellOf(withNaN), 3, m, s, q);
    QVERIFY(allNaN({m, s, q}));
}

void TestNeuralMath::columnsStats()
{
    RowSet rows({{1, 7, 0}, {3, 7, 0}, {5, 7, 0}});
    F means(3, -1), sigmas(3, -1), qualities(3, -1);
    NeuralMath::columnsStats(rows.data(), 3, 3, cellOf(means), cellOf(sigmas), cellOf(qualities));
    QCOMPARE(means, (F{3, 7, 0}));
    QCOMPARE(sigmas, (F{float(std::sqrt(8.0 / 3)), 0, 0}));
    QCOMPARE(qualities, (F{3.0f / float(std::sqrt(8.0 / 3)), 16, 0}));
    // A null cell ends the work after the kind before it.
    F m2(3, -1), q2(3, -1);
    NeuralMath::columnsStats(rows.data(), 3, 3, cellOf(m2), Cell(), cellOf(q2));
    QCOMPARE(m2, means);
    QCOMPARE(q2, F(3, -1));
    float m = 0, s = 0, q = 0;
    NeuralMath::columnStats(rows.data(), 3, 0, m, s, q);
    QVERIFY(m == means[0] && s == sigmas[0] && q == qualities[0]);
}

void TestNeuralMath::correlations()
{
    RowSet rows({{1, 2, -1, 5}, {2, 4, -2, 1}, {3, 6, -3, 3}, {4, 8, -4, 2}});
    RowSet other({{0, 10}, {0, 20}, {0, 30}, {0, 40}});
    QCOMPARE(NeuralMath::correlation(rows.data(), other.data(), 4, 0, 1), 1.0f);
    F out(7, 99);
    NeuralMath::correlations(rows.data(), 4, 4, cellOf(out));
    // Covariance -0.875 over deviations sqrt(1.25) and sqrt(2.1875), by hand.
    const float r03 = float(-0.875 / std::sqrt(1.25 * 2.1875));
    QVERIFY(std::fabs(out[2] - r03) < 1e-6f && std::fabs(out[4] - r03) < 1e-6f);
    QVERIFY(std::fabs(out[5] + r03) < 1e-6f);
    out[2] = out[4] = out[5] = 0;
    // (0,1) (0,2) (0,3) (1,2) (1,3) (2,3), and nothing beyond.
    QCOMPARE(out, (F{1, -1, 0, -1, 0, 0, 99}));
    F untouched(2, 99);
    NeuralMath::correlations(rows.data(), 4, 1, cellOf(untouched));
    QCOMPARE(untouched, F(2, 99));
}

void TestNeuralMath::extremes()
{
    int32_t index = 42;
    F a = {3, 1, 1}, b = {-4, 4}, c = {2, 5, 5, -9};
    std::vector<int32_t> d = {7, -2, 9, -2, 9};
    QCOMPARE(NeuralMath::minimum(cellOf(a), 3, index), 1.0f);
    QCOMPARE(index, 1);
    QCOMPARE(NeuralMath::maximumAbs(cellOf(b), 2, index), 4.0f);
    QCOMPARE(index, 0);
    QCOMPARE(NeuralMath::maximum(cellOf(c), 4, index), 5.0f);
    QCOMPARE(index, 1);
    QCOMPARE(NeuralMath::minimumI32(cellOf(d), 5, index), -2);
    QCOMPARE(index, 1);
    QCOMPARE(NeuralMath::maximumI32(cellOf(d), 5, index), 9);
    QCOMPARE(index, 2);
    // Nothing to look at: defined results, nothing read.
    QVERIFY(std::isnan(NeuralMath::minimum(Cell(), 0, index)) && index == -1);
    QVERIFY(std::isnan(NeuralMath::maximum(Cell(), 0, index)) && index == -1);
    QVERIFY(NeuralMath::maximumAbs(Cell(), 0, index) == 0.0f && index == -1);
    QVERIFY(NeuralMath::minimumI32(Cell(), 0, index) == 0 && index == -1);
}

void TestNeuralMath::divergence()
{
    F meanA = {0, 1, 5}, sigmaA = {1, 2, 0}, meanB = {2, 3, 5}, sigmaB = {2, 2, 1}, zeros(3, 0);
    float r = 0, d = 0, s = 0;
    NeuralMath::divergence(cellOf(meanA), cellOf(sigmaA), cellOf(meanB), cellOf(sigmaB), 3, r, d, s);
    QCOMPARE(r, 1.5f);
    QCOMPARE(d, 1.0f);
    QCOMPARE(s, float((2.0L / 3 + 2.0L / 4) / 2));
    NeuralMath::divergence(cellOf(meanA), cellOf(zeros), cellOf(meanB), cellOf(sigmaB), 3, r, d, s);
    QVERIFY(allNaN({r, d, s}));
}

void TestNeuralMath::bitsAndSigns()
{
    // Bits 0..10 across a byte boundary; x and y differ at 1, 3 and 9.
    std::vector<uint8_t> x = {0x0A, 0x02}, y = {0x00, 0x00}, z = {0x0A, 0xFC};
    QCOMPARE(NeuralMath::hamming(Cell(x.data()), Cell(y.data()), 11), 3u);
    QCOMPARE(NeuralMath::hamming(Cell(x.data()), Cell(y.data()), 9), 2u);
    QCOMPARE(NeuralMath::hamming(Cell(x.data()), Cell(z.data()), 10), 1u);

    std::vector<uint8_t> r0 = {0x01}, r1 = {0x03}, r2 = {0x00}, r3 = {0x01};
    std::vector<Cell> bitRows = {Cell(r0.data()), Cell(r1.data()), Cell(r2.data()), Cell(r3.data())};
    QCOMPARE(NeuralMath::bitMean(bitRows.data(), 4, 0), 0.75f);
    QCOMPARE(NeuralMath::bitMean(bitRows.data(), 4, 1), 0.25f);

    std::vector<int32_t> ints = {0, 3, 0, -1};
    QCOMPARE(NeuralMath::countZeros(cellOf(ints), 4), 2u);
    F a = {1, -1, 0, 2, kNaN}, b = {1, 1, -3, 0, 1};
    QCOMPARE(NeuralMath::signDiffers(cellOf(a), cellOf(b), 5), 3u);
    // 0 sits with the negative numbers.
    F v = {0, -2, 3, 0.5f};
    QCOMPARE(NeuralMath::signAgrees(cellOf(v), -1.0f, 4), 2u);
    QCOMPARE(NeuralMath::signAgrees(cellOf(v), 0.0f, 3), 2u);
    QCOMPARE(NeuralMath::signAgrees(cellOf(v), 1.0f, 3), 1u);
}

void TestNeuralMath::gaussAndProbability()
{
    QCOMPARE(NeuralMath::gauss(3, 1, 2), std::exp(-0.5) / (2 * 2.5066282746310002));
    QCOMPARE(NeuralMath::gauss(1, 1, 0), 0.0);
    // About 68.27 % of the mass lies within one sigma; below one half the
    // result becomes 1 minus itself; a negative value gives the sign.
    QVERIFY(std::fabs(NeuralMath::probability(0, 1, -1, 1) - 0.682689f) < 1e-4f);
    QVERIFY(std::fabs(NeuralMath::probability(0, 1, 0, 0.5f) - (1 - 0.191462f)) < 1e-4f);
    QVERIFY(std::fabs(NeuralMath::probability(-0.5f, 1, -1.5f, 0.5f) + 0.682689f) < 1e-4f);
    // Empty, reversed and huge intervals return at once.
    QCOMPARE(NeuralMath::probability(1, 1, 2, 2), 1.0f);
    QCOMPARE(NeuralMath::probability(1, 1, 2, 1), 1.0f);
    QVERIFY(std::isfinite(NeuralMath::probability(0, 1, -1e30f, 1e30f)));

    F values = {0, -0.5f}, sigmas = {1, 1}, out(3, 99);
    NeuralMath::probabilities(cellOf(values), cellOf(sigmas), 2, -1, 1, cellOf(out));
    QCOMPARE(out, (F{NeuralMath::probability(0, 1, -1, 1), NeuralMath::probability(-0.5f, 1, -1, 1), 99}));
}

void TestNeuralMath::nullInputIsRefused()
{
    DebugCapture capture;
    int32_t index = 5;
    NeuralMath::sort(static_cast<float*>(nullptr), 0);
    QVERIFY(capture.reports().isEmpty());
    NeuralMath::sort(static_cast<float*>(nullptr), 4);
    float v[] = {2, 1};
    NeuralMath::sort(v, nullptr, 2); // the companion form needs its companion
    QCOMPARE(v[0], 2.0f);
    QVERIFY(std::isnan(NeuralMath::mean(Cell(), 3)));
    QVERIFY(std::isnan(NeuralMath::maximum(Cell(), 3, index)) && index == -1);
    QCOMPARE(NeuralMath::hamming(Cell(), Cell(), 8), 0u);
    F r0 = {1};
    std::vector<Cell> holed = {cellOf(r0), Cell()};
    QVERIFY(std::isnan(NeuralMath::columnMean(holed.data(), 2, 0)));
    QCOMPARE(capture.reports().size(), 6);
}

QTEST_GUILESS_MAIN(TestNeuralMath)
#include "tst_neuralmath.moc"

// The fingerprint processor through its module interface: the components
// the module answers for, parameters, templates that are the same for every
// finger, foreign parameters, refusal of foreign, truncated, damaged and
// old-layout input and of arches, and frees.

#include <QtTest>

#include "DebugCapture.h"
#include "VirtualReader.h"
#include "modules/finger/FingerImage.h"
#include "modules/finger/FingerTemplate.h"

using namespace rig;

namespace {

// Sample buffers of the module's layout, freed with the set.
struct Samples {
    ~Samples()
    {
        for (uint8_t* s : list)
            Finger::ImageFormat::wipeSample(s);
    }
    void add(uint32_t finger, uint32_t press, const Nb::Uuid& type = TECH_Fingerprint)
    {
        list << Finger::ImageFormat::newSample(fingerImage(finger, press), type);
    }
    uint8_t* const* data() const { return list.data(); }
    uint32_t count() const { return uint32_t(list.size()); }
    QVector<uint8_t*> list;
};

} // namespace

class TestFingerProcessor : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void components_data();
    void components();
    void parametersAndTemplate();
    void enrolmentCopies();
    void sameTemplateForEveryFinger();
    void refusedImages_data();
    void refusedImages();
    void refusedTemplates_data();
    void refusedTemplates();
    void arches_data();
    void arches();
    void foreignParameters();
    void frees();

private:
    nbIProcessor* m_p = nullptr;
    Samples m_enrol;
};

void TestFingerProcessor::initTestCase()
{
    m_p = make<nbIProcessor>(CLSID_FingerprintProcessor, IID_nbIProcessor);
    QVERIFY(m_p);
    for (uint32_t k = 0; k < 4; ++k)
        m_enrol.add(9, 90 + k);
}

void TestFingerProcessor::cleanupTestCase() { QCOMPARE(m_p->release(), 0u); }

void TestFingerProcessor::components_data()
{
    QTest::addColumn<QString>("classText");
    QTest::addColumn<QString>("iidText");
    QTest::addColumn<uint>("result");
    const QString reader = CLSID_FingerprintProvider.toString(), processor = CLSID_FingerprintProcessor.toString();
    QTest::newRow("reader") << reader << IID_nbIProvider.toString() << uint(nbS_OK);
    QTest::newRow("reader, unknown") << reader << IID_nbIUnknown.toString() << uint(nbS_OK);
    QTest::newRow("processor") << processor << IID_nbIProcessor.toString() << uint(nbS_OK);
    QTest::newRow("processor as reader") << processor << IID_nbIProvider.toString() << uint(nbE_NO_INTERFACE);
    QTest::newRow("handwriting") << CLSID_HandwritingProvider.toString() << IID_nbIProvider.toString()
                                 << uint(nbE_NO_COMPONENT);
    QTest::newRow("engine") << CLSID_Ulvar.toString() << IID_nbIUlvar.toString() << uint(nbE_NO_COMPONENT);
}

void TestFingerProcessor::components()
{
    QFETCH(QString, classText);
    QFETCH(QString, iidText);
    QFETCH(uint, result);
    const Nb::Uuid classId(classText), iid(iidText);
    void* out = nullptr;
    QCOMPARE(fingerModule()(&classId, &iid, &out), uint32_t(result));
    QCOMPARE(out != nullptr, result == nbS_OK);
    if (out)
        QCOMPARE(static_cast<nbIUnknown*>(out)->release(), 0u);
    QCOMPARE(fingerModule()(&classId, &iid, nullptr), nbE_POINTER);
    // The module shows nothing but its entry point.
    QLibrary lib(QStringLiteral(FINGER_MODULE_PATH));
    QVERIFY(!lib.resolve("NbEnumComponents"));
    QVERIFY(!lib.resolve("_ZN6Finger14FingerProvider7releaseEv"));
}

void TestFingerProcessor::parametersAndTemplate()
{
    Nb::Matrix* first = reinterpret_cast<Nb::Matrix*>(1);
    Nb::Matrix* templ = nullptr;
    QCOMPARE(m_p->getTemplate(&first, &templ, m_enrol.data(), m_enrol.count()), nbS_OK);
    QVERIFY(!first && templ);
    QCOMPARE(templ->meta(0).format, Nb::MfR32);
    QCOMPARE(m_p->setTemplate(templ, &TECH_Fingerprint), nbS_OK);

    Samples live;
    live.add(9, 190);
    live.add(9, 191);
    live.add(10, 100);
    Nb::Matrix* params = nullptr;
    Nb::Matrix* extra = reinterpret_cast<Nb::Matrix*>(1);
    QCOMPARE(m_p->convert(&params, live.data(), live.count(), &extra), nbS_OK);
    QVERIFY(params && !extra);
    QCOMPARE(params->rows(), 1);
    QCOMPARE(params->cols(), 3);
    QCOMPARE(params->meta(0).count, 256);
    QCOMPARE(params->meta(0).format, Nb::MfR32);
    // Two presses of one finger lie closer than another finger.
    auto distance = [&](int a, int b) {
        double d = 0;
        for (int f = 0; f < 256; ++f)
            d += std::fabs(reinterpret_cast<float*>(params->at(0, a))[f] -
                           reinterpret_cast<float*>(params->at(0, b))[f]);
        return d;
    };
    QVERIFY2(distance(0, 1) < 0.5 * distance(0, 2),
             qPrintable(QStringLiteral("%1 vs %2").arg(distance(0, 1)).arg(distance(0, 2))));
    QCOMPARE(m_p->freeBuffer(params), nbS_OK);
    QCOMPARE(m_p->freeBuffer(templ), nbS_OK);
    QCOMPARE(m_p->getTemplate(nullptr, &templ, nullptr, 0), nbS_OK);
    QVERIFY(!templ);
}

// The set a template was just made from gets rows of its copies partly off
// the reader or scaled after its own; the next conversion of it does not.
void TestFingerProcessor::enrolmentCopies()
{
    Nb::Matrix* templ = nullptr;
    QCOMPARE(m_p->getTemplate(nullptr, &templ, m_enrol.data(), m_enrol.count()), nbS_OK);
    Nb::Matrix* enrolment = nullptr;
    Nb::Matrix* again = nullptr;
    QCOMPARE(m_p->convert(&enrolment, m_enrol.data(), m_enrol.count(), nullptr), nbS_OK);
    QCOMPARE(m_p->convert(&again, m_enrol.data(), m_enrol.count(), nullptr), nbS_OK);
    QCOMPARE(again->cols(), int32_t(m_enrol.count()));
    QVERIFY2(enrolment->cols() > 2 * again->cols(), qPrintable(QString::number(enrolment->cols())));
    QVERIFY(enrolment->cols() <= 5 * again->cols());
    for (int32_t c = 0; c < again->cols(); ++c)
        QCOMPARE(std::memcmp(enrolment->at(0, c), again->at(0, c), 256 * 4), 0);
    // Every copy, bare on a side or scaled, differs from every impression.
    for (int32_t c = again->cols(); c < enrolment->cols(); ++c)
        for (int32_t k = 0; k < again->cols(); ++k)
            QVERIFY(std::memcmp(enrolment->at(0, c), again->at(0, k), 256 * 4) != 0);
    for (Nb::Matrix* m : {templ, enrolment, again})
        QCOMPARE(m_p->freeBuffer(m), nbS_OK);
    // The engine takes at most 64 own samples, copies included.
    Samples many;
    for (uint32_t k = 0; k < 20; ++k)
        many.add(9, 300 + k);
    QCOMPARE(m_p->getTemplate(nullptr, &templ, many.data(), many.count()), nbS_OK);
    QCOMPARE(m_p->convert(&enrolment, many.data(), many.count(), nullptr), nbS_OK);
    QCOMPARE(enrolment->cols(), 64);
    for (Nb::Matrix* m : {templ, enrolment})
        QCOMPARE(m_p->freeBuffer(m), nbS_OK);
}

void TestFingerProcessor::sameTemplateForEveryFinger()
{
    Samples other;
    for (uint32_t k = 0; k < 4; ++k)
        other.add(23, 230 + k);
    Nb::Matrix* mine = nullptr;
    Nb::Matrix* theirs = nullptr;
    QCOMPARE(m_p->getTemplate(nullptr, &mine, m_enrol.data(), m_enrol.count()), nbS_OK);
    QCOMPARE(m_p->getTemplate(nullptr, &theirs, other.data(), other.count()), nbS_OK);
    QVERIFY(mine && theirs);
    QCOMPARE(mine->meta(0).count, theirs->meta(0).count);
    QCOMPARE(std::memcmp(mine->at(0, 0), theirs->at(0, 0), size_t(mine->meta(0).size())), 0);
    // An impression's parameters do not depend on the template loaded.
    Nb::Matrix* before = nullptr;
    Nb::Matrix* after = nullptr;
    QCOMPARE(m_p->convert(&before, other.data(), 1, nullptr), nbS_OK);
    QCOMPARE(m_p->setTemplate(theirs, &TECH_Fingerprint), nbS_OK);
    QCOMPARE(m_p->convert(&after, other.data(), 1, nullptr), nbS_OK);
    QCOMPARE(std::memcmp(before->at(0, 0), after->at(0, 0), 256 * 4), 0);
    for (Nb::Matrix* m : {mine, theirs, before, after})
        QCOMPARE(m_p->freeBuffer(m), nbS_OK);
}

void TestFingerProcessor::refusedImages_data()
{
    QTest::addColumn<int>("damage");
    QTest::newRow("handwriting type") << 0;
    QTest::newRow("length one short") << 1;
    QTest::newRow("length one long") << 2;
    QTest::newRow("null image") << 3;
    QTest::newRow("magic") << 4;
    QTest::newRow("version") << 5;
}

void TestFingerProcessor::refusedImages()
{
    QFETCH(int, damage);
    Samples set;
    set.add(11, 110);
    set.add(11, 111, damage == 0 ? TECH_Handwriting : TECH_Fingerprint);
    uint8_t* s = set.list[1];
    const int32_t n = qFromLittleEndian<int32_t>(s);
    if (damage == 1 || damage == 2)
        qToLittleEndian<int32_t>(n + (damage == 1 ? -1 : 1), s);
    if (damage == 3) {
        Finger::ImageFormat::wipeSample(s);
        set.list[1] = nullptr;
    }
    if (damage >= 4)
        s[20 + (damage == 4 ? 0 : 4)] ^= 1;
    DebugCapture debug;
    Nb::Matrix* params = reinterpret_cast<Nb::Matrix*>(1);
    QCOMPARE(m_p->convert(&params, set.data(), set.count(), nullptr), nbE_PARAM);
    QVERIFY(!params);
    Nb::Matrix* templ = reinterpret_cast<Nb::Matrix*>(1);
    QCOMPARE(m_p->getTemplate(nullptr, &templ, set.data(), set.count()), nbE_PARAM);
    QVERIFY(!templ);
    QVERIFY(debug.texts().join(' ').contains(QLatin1String("image 1 refused")));
    if (set.list[1])
        qToLittleEndian<int32_t>(n, s); // the set frees by its length word
}

void TestFingerProcessor::arches_data()
{
    QTest::addColumn<uint>("finger");
    QTest::addColumn<uint>("result");
    QTest::newRow("plain arch") << 0u << uint(nbE_PARAM);
    QTest::newRow("tented arch") << 2u << uint(nbE_PARAM);
    QTest::newRow("loop") << 9u << uint(nbS_OK);
}

// Strangers' arches open an arch's container: no template is made.
void TestFingerProcessor::arches()
{
    QFETCH(uint, finger);
    QFETCH(uint, result);
    Samples set;
    for (uint32_t k = 0; k < 12; ++k)
        set.add(finger, 500 + k);
    Nb::Matrix* templ = nullptr;
    QCOMPARE(uint(m_p->getTemplate(nullptr, &templ, set.data(), set.count())), result);
    QCOMPARE(templ != nullptr, result == nbS_OK);
    if (templ)
        QCOMPARE(m_p->freeBuffer(templ), nbS_OK);
}

void TestFingerProcessor::refusedTemplates_data()
{
    QTest::addColumn<int>("cell");
    QTest::addColumn<float>("value");
    QTest::addColumn<int>("length");
    // The second to fifth layouts (a spectrum of the minutiae, the flow
    // alone, the scaled parameters handed out themselves, no texture) had
    // 8 cells of head and 256 centres and scales.
    QTest::newRow("second layout") << 0 << 2.0f << 8 + 2 * 256;
    QTest::newRow("third layout") << 0 << 3.0f << 8 + 2 * 256;
    QTest::newRow("fourth layout") << 0 << 4.0f << 8 + 2 * 256;
    QTest::newRow("fifth layout") << 0 << 5.0f << 8 + 2 * 256;
    // The sixth framed every print on the mean flow of all kinds; its length,
    // as the seventh's and the eighth's, is this layout's.
    QTest::newRow("sixth layout") << 0 << 6.0f << 0;
    // The seventh handed out parameters not moved off their kind's mean.
    QTest::newRow("seventh layout") << 0 << 7.0f << 0;
    // The eighth moved arches as far off their kind's mean as the others.
    QTest::newRow("eighth layout") << 0 << 8.0f << 0;
    // Containers of the ninth may belong to an arch, which strangers' arches open.
    QTest::newRow("ninth layout") << 0 << 9.0f << 0;
    // The tenth's directions were fitted on arches too.
    QTest::newRow("tenth layout") << 0 << 10.0f << 0;
    // The eleventh gave loops and whorls the same directions.
    QTest::newRow("eleventh layout") << 0 << 11.0f << 0;
    // The twelfth read 64 directions.
    QTest::newRow("twelfth layout") << 0 << 12.0f << 0;
    QTest::newRow("rings") << 1 << 9.0f << 0;
    QTest::newRow("gain") << 6 << 1.0f << 0;
    QTest::newRow("not a number") << 100 << std::numeric_limits<float>::quiet_NaN() << 0;
    QTest::newRow("zero scale") << Finger::FingerTemplate::Head + Finger::SpaceCount + 300 << 0.0f << 0;
    QTest::newRow("one short") << -1 << 0.0f << -1;
    // The first layout: the owner's flow on a 24 x 26 grid and 256 centres
    // and scales, version 1.
    QTest::newRow("first layout") << 0 << 1.0f << 8 + 3 * 24 * 26 + 512;
}

void TestFingerProcessor::refusedTemplates()
{
    QFETCH(int, cell);
    QFETCH(float, value);
    QFETCH(int, length);
    Nb::Matrix* templ = nullptr;
    QCOMPARE(m_p->getTemplate(nullptr, &templ, m_enrol.data(), m_enrol.count()), nbS_OK);
    const int32_t n = templ->meta(0).count;
    const int32_t count = length > 0 ? length : n + length;
    Nb::Matrix damaged(1, Nb::Meta(count, Nb::MfR32, Nb::MtC));
    std::memset(damaged.at(0, 0), 0, size_t(count) * 4);
    std::memcpy(damaged.at(0, 0), templ->at(0, 0), size_t(std::min(count, n)) * 4);
    if (cell >= 0)
        reinterpret_cast<float*>(damaged.at(0, 0))[cell] = value;
    QCOMPARE(m_p->setTemplate(&damaged, &TECH_Fingerprint), nbE_PARAM);
    QCOMPARE(m_p->setTemplate(templ, &TECH_Handwriting), nbE_PARAM);
    QCOMPARE(m_p->setTemplate(nullptr, &TECH_Fingerprint), nbE_POINTER);
    QCOMPARE(m_p->freeBuffer(templ), nbS_OK);
}

void TestFingerProcessor::foreignParameters()
{
    Nb::Matrix* all = nullptr;
    QCOMPARE(m_p->getAlienParams(&all, -1, &TECH_Fingerprint, 0), nbS_OK);
    QVERIFY(all->cols() >= 128);
    QCOMPARE(all->meta(0).count, 256);
    // Strangers differ from one another.
    QVERIFY(std::memcmp(all->at(0, 0), all->at(0, 1), 256 * 4) != 0);
    Nb::Matrix* some = nullptr;
    QCOMPARE(m_p->getAlienParams(&some, 5, &TECH_Fingerprint, 0), nbS_OK);
    QCOMPARE(some->cols(), 5);
    QCOMPARE(std::memcmp(some->at(0, 4), all->at(0, 4), 256 * 4), 0);
    QCOMPARE(m_p->getAlienParams(&some, 0, &TECH_Fingerprint, 0), nbE_PARAM);
    QCOMPARE(m_p->getAlienParams(&some, -1, &TECH_Handwriting, 0), nbE_PARAM);
    QCOMPARE(m_p->freeBuffer(all), nbS_OK);
}

void TestFingerProcessor::frees()
{
    Nb::Matrix* m = nullptr;
    QCOMPARE(m_p->getAlienParams(&m, 2, &TECH_Fingerprint, 0), nbS_OK);
    Nb::Matrix own(1, Nb::Meta(256, Nb::MfR32, Nb::MtC));
    DebugCapture debug;
    QCOMPARE(m_p->freeBuffer(nullptr), nbS_OK);
    QCOMPARE(m_p->freeBuffer(&own), nbE_PARAM);
    QCOMPARE(m_p->freeBuffer(m), nbS_OK);
    QCOMPARE(m_p->freeBuffer(m), nbE_PARAM);
    QCOMPARE(debug.texts().size(), 2);
}

QTEST_MAIN(TestFingerProcessor)
#include "tst_fingerprocessor.moc"

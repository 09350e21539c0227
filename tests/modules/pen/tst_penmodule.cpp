// The handwriting module through its interface, as the runtime meets it:
// components by class id, samples written on the pad with mouse and pen,
// cancel, pictures, the processor's outputs, and refusals of what is not the
// module's.

// Mouse input through the window system's path, moves included.
#define QTEST_QPA_MOUSE_HANDLING

#include <QLayout>
#include <QPixmap>
#include <QtTest>

#include "PenRig.h"
#include "modules/pen/PenFeatures.h"
#include "modules/pen/PenSynth.h"

Q_DECLARE_METATYPE(Nb::Uuid)

namespace {

using Buffer = std::vector<uint8_t>;



Buffer exact(const QByteArray& bytes) { return Buffer(bytes.begin(), bytes.end()); }

// A provider attached to a shown window and capturing.
struct Rig {
    Rig() : p(penrig::provider())
    {
        window.resize(700, 300);
        window.show();
        p->setEventHandler(&sink);
        p->attachDevice(0);
        p->attachWindow(&window, 0);
        p->startCapture(&slot, &TECH_Handwriting, 0);
        pad = window.findChild<QWidget*>();
        exposed = QTest::qWaitForWindowExposed(&window);
    }
    ~Rig()
    {
        p->stopCapture();
        p->attachWindow(nbDETACH_WINDOW, 0);
        p->attachDevice(-1);
        p->release();
    }
    // The handed-over image, copied and given back; empty when none.
    QByteArray take()
    {
        uint8_t* image = nullptr;
        if (p->waitForBimReady(&image, 1000) != nbS_OK)
            return QByteArray();
        const QByteArray copy = penrig::copyImage(image);
        return p->freeBim(image) == nbS_OK ? copy : QByteArray();
    }

    QWidget window;
    modrig::Events sink;
    nbIProvider* p;
    uint8_t* slot = nullptr;
    QWidget* pad = nullptr;
    bool exposed = false;
};

} // namespace

class TestPenModule : public QObject {
    Q_OBJECT
private slots:
    void queryComponent_data();
    void queryComponent();
    void mouseSample();
    void penSample();
    void cancel_data();
    void cancel();
    void foreignImages_data();
    void foreignImages();
    void foreignFrees();
    void callOrder();
    void templates_data();
    void templates();
    void onePadShape_data();
    void onePadShape();
    void glitch();
    void leaning_data();
    void leaning();
    void slowStretch();
    void sameWriting_data();
    void sameWriting();
    void peaks_data();
    void peaks();
    void directions();
};

void TestPenModule::queryComponent_data()
{
    QTest::addColumn<Nb::Uuid>("classId");
    QTest::addColumn<Nb::Uuid>("iid");
    QTest::addColumn<uint>("result");
    QTest::newRow("provider") << CLSID_HandwritingProvider << IID_nbIProvider << uint(nbS_OK);
    QTest::newRow("provider as unknown") << CLSID_HandwritingProvider << IID_nbIUnknown << uint(nbS_OK);
    QTest::newRow("processor") << CLSID_HandwritingProcessor << IID_nbIProcessor << uint(nbS_OK);
    QTest::newRow("provider as processor") << CLSID_HandwritingProvider << IID_nbIProcessor << uint(nbE_NO_INTERFACE);
    QTest::newRow("second provider row") << CLSID_HandwritingProvider2 << IID_nbIProvider << uint(nbE_NO_COMPONENT);
    QTest::newRow("fingerprint") << CLSID_FingerprintProcessor << IID_nbIProcessor << uint(nbE_NO_COMPONENT);
}

void TestPenModule::queryComponent()
{
    QFETCH(Nb::Uuid, classId);
    QFETCH(Nb::Uuid, iid);
    QFETCH(uint, result);
    void* const untouched = reinterpret_cast<void*>(0x1234);
    void* out = untouched;
    QCOMPARE(penrig::query()(&classId, &iid, &out), uint32_t(result));
    if (result == nbS_OK)
        QCOMPARE(static_cast<nbIUnknown*>(out)->release(), 0u);
    else
        QCOMPARE(out, untouched);
}

void TestPenModule::mouseSample()
{
    Rig rig;
    QVERIFY(rig.pad && rig.exposed);
    QTest::mousePress(rig.pad, Qt::LeftButton, {}, QPoint(40, 60));
    for (int i = 1; i <= 10; ++i)
        QTest::mouseMove(rig.pad, QPoint(40 + 20 * i, 60 + (i % 2) * 30));
    QTest::mouseRelease(rig.pad, Qt::LeftButton, {}, QPoint(260, 60));
    QCOMPARE(rig.sink.codes, QList<uint32_t>{nbEV_IMAGE_STARTED});

    // The picture of the drawing, with the length retry.
    Buffer out(4 + 1, 0);
    qToLittleEndian<int32_t>(1, out.data());
    const uint8_t params[5] = {1, 0, 0, 0, 1};
    QCOMPARE(rig.p->getImage(nbIMAGE_PICTURE, out.data() + 4, params + 4), nbE_INSUFFICIENT_BUFFER);
    const int32_t need = qFromLittleEndian<int32_t>(out.data());
    out.assign(size_t(4 + need), 0);
    qToLittleEndian<int32_t>(need, out.data());
    QCOMPARE(rig.p->getImage(nbIMAGE_PICTURE, out.data() + 4, params + 4), nbS_OK);
    QPixmap picture;
    QVERIFY(picture.loadFromData(out.data() + 4, uint(qFromLittleEndian<int32_t>(out.data()))));

    const QByteArray image = rig.take();
    QCOMPARE(QByteArray(image.constData() + 4, 16), QByteArray(reinterpret_cast<const char*>(TECH_Handwriting.data()), 16));
    const Pen::Sample s = penrig::sampleOf(image);
    QCOMPARE(int(s.strokes.size()), 1);
    QCOMPARE(int(s.strokes.at(0).device), int(Pen::Mouse));
    QCOMPARE(int(s.strokes.at(0).points.size()), 12);
    QCOMPARE(s.strokes.at(0).points.front().x, 4000);
    QCOMPARE(s.strokes.at(0).points.back().x, 26000);
    // The pad is empty again: nothing more to hand over, at once.
    QVERIFY(rig.take().isEmpty());
}

void TestPenModule::penSample()
{
    Rig rig;
    const Pen::Sample written = Pen::Writer(3).sample(4);
    penrig::draw(rig.pad, written);
    const QByteArray image = rig.take();
    Pen::Sample got = penrig::sampleOf(image);
    got.width = written.width;
    got.height = written.height;
    // Every point, its time and its pressure as the pen gave them.
    QCOMPARE(penrig::bytes(got).toHex(), penrig::bytes(written).toHex());

    nbIProcessor* proc = penrig::processor();
    Nb::Matrix* params = nullptr;
    Nb::Matrix* extra = reinterpret_cast<Nb::Matrix*>(0x1);
    uint8_t* images[] = {reinterpret_cast<uint8_t*>(const_cast<char*>(image.constData()))};
    QCOMPARE(proc->convert(&params, images, 1, &extra), nbS_OK);
    QVERIFY(!extra);
    QCOMPARE(params->rows(), 1);
    QCOMPARE(params->cols(), 1);
    QVERIFY(params->meta(0) == Nb::Meta(480, Nb::MfR32, Nb::MtC));
    std::vector<float> raw(480), expected(480);
    QVERIFY(Pen::features(written, raw.data()));
    Pen::toParameters(raw.data(), Pen::builtInNorm(), expected.data());
    QCOMPARE(std::memcmp(params->at(0, 0), expected.data(), 480 * sizeof(float)), 0);
    QCOMPARE(proc->freeBuffer(params), nbS_OK);
    proc->release();
}

void TestPenModule::cancel_data()
{
    QTest::addColumn<int>("how");
    QTest::newRow("right button") << 0;
    QTest::newRow("escape") << 1;
    QTest::newRow("pen's side button") << 2;
}

void TestPenModule::cancel()
{
    QFETCH(int, how);
    Rig rig;
    // Escape on an empty pad is the dialog's.
    QTest::keyClick(rig.pad, Qt::Key_Escape);
    penrig::draw(rig.pad, Pen::Writer(8).sample(1));
    if (how == 0)
        QTest::mouseClick(rig.pad, Qt::RightButton, {}, QPoint(5, 5));
    else if (how == 1)
        QTest::keyClick(rig.pad, Qt::Key_Escape);
    else
        penrig::tablet(rig.pad, QEvent::TabletPress, Pen::Point{500, 500, 9999, 100}, Qt::RightButton);
    QCOMPARE(rig.sink.codes, (QList<uint32_t>{nbEV_IMAGE_STARTED, nbEV_IMAGE_CANCEL}));
    QVERIFY(rig.take().isEmpty());
}

void TestPenModule::foreignImages_data()
{
    QTest::addColumn<QByteArray>("image");
    QTest::addColumn<bool>("viewable");
    const QByteArray data = penrig::bytes(Pen::Writer(2).sample(2));
    // The length says one byte less than the record holds, and the buffer
    // ends there.
    QByteArray cut = penrig::image(data).left(20 + data.size() - 1);
    qToLittleEndian<int32_t>(data.size() - 1, cut.data());
    Pen::Sample dot;
    dot.strokes.resize(1);
    dot.strokes[0].points.push_back({100, 100, 0, 0});
    QTest::newRow("fingerprint image") << penrig::image(data, TECH_Fingerprint) << false;
    QTest::newRow("cut short") << cut << false;
    QTest::newRow("negative length") << penrig::image(QByteArray()).replace(0, 4, "\xff\xff\xff\xff") << false;
    QTest::newRow("no strokes") << penrig::image(QByteArray(16, '\0')) << false;
    QTest::newRow("a dot: no writing") << penrig::image(penrig::bytes(dot)) << true;
}

void TestPenModule::foreignImages()
{
    QFETCH(QByteArray, image);
    QFETCH(bool, viewable);
    // Exact sizes, so that a read past the end is caught.
    Buffer buffer = exact(image);
    Buffer valid = exact(penrig::image(penrig::bytes(Pen::Writer(2).sample(2))));
    uint8_t* images[] = {valid.data(), buffer.data()};

    nbIProcessor* proc = penrig::processor();
    Nb::Matrix* params = nullptr;
    Nb::Matrix* templ = nullptr;
    QCOMPARE(proc->convert(&params, images, 2, nullptr), nbE_PARAM);
    QCOMPARE(proc->getTemplate(nullptr, &templ, images, 2), nbE_PARAM);
    QVERIFY(!params && !templ);
    proc->release();

    nbIProvider* p = penrig::provider();
    QCOMPARE(p->viewImage(buffer.data(), 0), viewable ? nbS_OK : nbE_PARAM);
    QCOMPARE(p->viewImage(valid.data(), 0), nbS_OK);
    p->release();
}

void TestPenModule::foreignFrees()
{
    Rig rig;
    penrig::draw(rig.pad, Pen::Writer(4).sample(1));
    uint8_t* image = nullptr;
    QCOMPARE(rig.p->waitForBimReady(&image, 1000), nbS_OK);
    Buffer copy = exact(penrig::copyImage(image));
    QCOMPARE(rig.p->freeBim(copy.data()), nbE_OBJECT_NOT_FOUND);
    QCOMPARE(rig.p->freeBim(nullptr), nbS_OK);
    QCOMPARE(rig.p->freeBim(image), nbS_OK);
    QCOMPARE(rig.p->freeBim(image), nbE_OBJECT_NOT_FOUND);
    // A sample leaves only under the technology it was captured for.
    QCOMPARE(rig.p->startCapture(&rig.slot, &TECH_Fingerprint, 0), nbE_PARAM);

    nbIProcessor* proc = penrig::processor();
    nbIProcessor* other = penrig::processor();
    Nb::Matrix* aliens = nullptr;
    QCOMPARE(proc->getAlienParams(&aliens, 4, &TECH_Handwriting, 0), nbS_OK);
    Nb::Matrix own(1, Nb::Meta(480, Nb::MfR32, Nb::MtC));
    QCOMPARE(proc->freeBuffer(&own), nbE_OBJECT_NOT_FOUND);
    QCOMPARE(other->freeBuffer(aliens), nbE_OBJECT_NOT_FOUND);
    QCOMPARE(proc->freeBuffer(aliens), nbS_OK);
    QCOMPARE(proc->freeBuffer(aliens), nbE_OBJECT_NOT_FOUND);
    QCOMPARE(proc->freeBuffer(nullptr), nbS_OK);
    other->release();
    proc->release();
}

void TestPenModule::callOrder()
{
    // The provider's life in the runtime: bind, attach, capture two images,
    // look at one, detach.
    QWidget window;
    window.show();
    modrig::Events sink;
    nbIProvider* p = penrig::provider();
    uint8_t* slot = nullptr;
    QCOMPARE(p->setEventHandler(&sink), nbS_OK);
    QCOMPARE(p->attachDevice(0), nbS_OK);
    QCOMPARE(p->attachWindow(&window, 0), nbS_OK);
    QCOMPARE(p->startCapture(&slot, &TECH_Handwriting, 0), nbS_OK);
    QByteArray stored;
    for (uint32_t i = 1; i <= 2; ++i) {
        penrig::draw(window.findChild<QWidget*>(), Pen::Writer(6).sample(i));
        QCOMPARE(p->waitForBimReady(&slot, 1000), nbS_OK);
        stored = penrig::copyImage(slot);
        QCOMPARE(p->freeBim(slot), nbS_OK);
        slot = nullptr;
        QCOMPARE(p->startCapture(&slot, &TECH_Handwriting, 0), nbS_OK);
    }
    QCOMPARE(sink.codes, (QList<uint32_t>{nbEV_IMAGE_STARTED, nbEV_IMAGE_STARTED}));
    QCOMPARE(p->stopCapture(), nbS_OK);
    QCOMPARE(p->viewImage(reinterpret_cast<const uint8_t*>(stored.constData()), 0), nbS_OK);
    // Viewing is read-only: the pen writes nothing.
    penrig::draw(window.findChild<QWidget*>(), Pen::Writer(6).sample(3));
    QCOMPARE(p->waitForBimReady(&slot, 1000), nbE_TIMEOUT_EXPIRED);
    QCOMPARE(p->attachWindow(nbDETACH_WINDOW, 0), nbS_OK);
    QVERIFY(!window.findChild<QWidget*>());
    QVERIFY(!window.layout());
    QCOMPARE(p->attachDevice(-1), nbS_OK);
    QCOMPARE(p->release(), 0u);

    // Processors in the order of training; their foreign writers are the
    // same every time.
    QVector<uint8_t*> images{reinterpret_cast<uint8_t*>(stored.data())};
    QByteArray aliens[2];
    for (int pass = 0; pass < 2; ++pass) {
        nbIProcessor* proc = penrig::processor();
        Nb::Matrix* templ = nullptr;
        Nb::Matrix* out = nullptr;
        QCOMPARE(proc->getTemplate(nullptr, &templ, images.data(), 1), nbS_OK);
        QCOMPARE(proc->setTemplate(templ, &TECH_Handwriting), nbS_OK);
        QCOMPARE(proc->convert(&out, images.data(), 1, nullptr), nbS_OK);
        QCOMPARE(proc->freeBuffer(out), nbS_OK);
        QCOMPARE(proc->getAlienParams(&out, -1, &TECH_Handwriting, 0), nbS_OK);
        QVERIFY(out->cols() >= 128 && out->meta(0) == Nb::Meta(480, Nb::MfR32, Nb::MtC));
        for (int32_t c = 0; c < out->cols(); ++c)
            aliens[pass] += QByteArray(reinterpret_cast<const char*>(out->at(0, c)), 480 * sizeof(float));
        QCOMPARE(proc->getAlienParams(&out, 0, &TECH_Handwriting, 0), nbE_PARAM);
        QCOMPARE(proc->freeBuffer(out), nbS_OK);
        QCOMPARE(proc->freeBuffer(templ), nbS_OK);
        QCOMPARE(proc->release(), 0u);
    }
    QCOMPARE(aliens[1], aliens[0]);
}

void TestPenModule::templates_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<float>("value");
    QTest::addColumn<uint>("result");
    QTest::newRow("as given") << -1 << 0.0f << uint(nbS_OK);
    QTest::newRow("layout of version 1") << 0 << 1.0f << uint(nbE_PARAM);
    QTest::newRow("layout of version 2") << 0 << 2.0f << uint(nbE_PARAM);
    QTest::newRow("layout of version 3") << 0 << 3.0f << uint(nbE_PARAM);
    QTest::newRow("layout of version 4") << 0 << 4.0f << uint(nbE_PARAM);
    QTest::newRow("layout of version 5") << 0 << 5.0f << uint(nbE_PARAM);
    QTest::newRow("layout of version 6") << 0 << 6.0f << uint(nbE_PARAM);
    QTest::newRow("layout of version 7") << 0 << 7.0f << uint(nbE_PARAM);
    QTest::newRow("layout of version 8") << 0 << 8.0f << uint(nbE_PARAM);
    QTest::newRow("160 points") << 1 << 160.0f << uint(nbE_PARAM);
    QTest::newRow("3 channels") << 2 << 3.0f << uint(nbE_PARAM);
    QTest::newRow("mean not a number") << 10 << std::numeric_limits<float>::quiet_NaN() << uint(nbE_PARAM);
    QTest::newRow("mean far out") << 10 << 3e38f << uint(nbE_PARAM);
    QTest::newRow("zero scale") << Pen::TemplateHead + Pen::Features << 0.0f << uint(nbE_PARAM);
}

void TestPenModule::templates()
{
    QFETCH(int, index);
    QFETCH(float, value);
    QFETCH(uint, result);
    nbIProcessor* proc = penrig::processor();
    Nb::Matrix* templ = nullptr;
    QCOMPARE(proc->getTemplate(nullptr, &templ, nullptr, 0), nbS_OK);
    Nb::Matrix copy(1, templ->meta(0));
    std::memcpy(copy.at(0, 0), templ->at(0, 0), size_t(templ->meta(0).size()));
    proc->freeBuffer(templ);
    if (index >= 0)
        reinterpret_cast<float*>(copy.at(0, 0))[index] = value;
    QCOMPARE(proc->setTemplate(&copy, &TECH_Handwriting), uint32_t(result));
    QCOMPARE(proc->setTemplate(&copy, &TECH_Fingerprint), nbE_PARAM);
    proc->release();
}

void TestPenModule::onePadShape_data()
{
    QTest::addColumn<QSize>("room");
    QTest::newRow("training wizard") << QSize(678, 331);
    QTest::newRow("extraction wizard, grown to hold it") << QSize(676, Pen::PadHeight);
    QTest::newRow("the pad's own size") << QSize(Pen::PadWidth, Pen::PadHeight);
}

void TestPenModule::onePadShape()
{
    // Whatever room a window gives, the pad keeps its one size, centred.
    QFETCH(QSize, room);
    QWidget window;
    window.setFixedSize(room);
    window.show();
    nbIProvider* p = penrig::provider();
    QCOMPARE(p->attachWindow(&window, 0), nbS_OK);
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QWidget* pad = window.findChild<QWidget*>();
    QVERIFY(pad);
    QCOMPARE(pad->size(), QSize(Pen::PadWidth, Pen::PadHeight));
    QVERIFY(qAbs(pad->geometry().center().x() - window.rect().center().x()) <= 1);
    QVERIFY(qAbs(pad->geometry().center().y() - window.rect().center().y()) <= 1);
    QCOMPARE(p->attachWindow(nbDETACH_WINDOW, 0), nbS_OK);
    p->release();
}

void TestPenModule::glitch()
{
    // One point of the ink knocked aside by a few pixels, across the way the
    // pen runs there, moves a stretch of neighbouring points a little, not
    // one point by much.
    Pen::Sample s = Pen::Writer(7).sample(1);
    std::vector<float> before(Pen::Features), after(Pen::Features);
    QVERIFY(Pen::features(s, before.data()));
    auto& points = s.strokes.front().points;
    QVERIFY(points.size() > 20);
    points[points.size() / 2].x += 300;
    QVERIFY(Pen::features(s, after.data()));
    float largest = 0;
    for (int32_t k = 0; k < Pen::Points; ++k)
        largest = std::max(largest, std::fabs(after[size_t(k)] - before[size_t(k)]));
    QVERIFY2(largest > 1e-3f, qPrintable(QString("the most a point moved is %1").arg(largest)));
    int moved = 0;
    for (int32_t k = 0; k < Pen::Points; ++k)
        moved += std::fabs(after[size_t(k)] - before[size_t(k)]) > largest / 2;
    QVERIFY2(moved >= 5, qPrintable(QString("%1 points moved by half the most").arg(moved)));
}

void TestPenModule::leaning_data()
{
    QTest::addColumn<uint>("writer");
    QTest::addColumn<uint>("sample");
    QTest::newRow("a long word") << 9u << 2u;
    // As high as it is wide: its main axis stands upright.
    QTest::newRow("a short word of tall letters") << 31014u << 1u;
}

void TestPenModule::leaning()
{
    // A writing turned a little further, step by step through the most the
    // features turn back, changes its features a little at every step: no
    // lean flips them back to upright or over to the other side at once.
    QFETCH(uint, writer);
    QFETCH(uint, sample);
    const Pen::Sample written = Pen::Writer(writer).sample(sample);
    std::vector<float> before(Pen::Features), after(Pen::Features);
    for (int step = -100; step <= 100; ++step) {
        const double turn = 0.01 * step;
        Pen::Sample s = written;
        for (Pen::Stroke& stroke : s.strokes)
            for (Pen::Point& p : stroke.points) {
                const double x = p.x, y = p.y;
                p.x = int32_t(std::lround(std::cos(turn) * x - std::sin(turn) * y));
                p.y = int32_t(std::lround(std::sin(turn) * x + std::cos(turn) * y));
            }
        QVERIFY(Pen::features(s, after.data()));
        float largest = 0;
        for (int32_t k = 0; step > -100 && k < 2 * Pen::Points; ++k)
            largest = std::max(largest, std::fabs(after[size_t(k)] - before[size_t(k)]));
        QVERIFY2(largest < 0.1f, qPrintable(QString("turned to %1: a point moved by %2").arg(turn).arg(largest)));
        before.swap(after);
    }
}

void TestPenModule::slowStretch()
{
    // The pen slowed to two thirds of its speed over a tenth of the ink, in
    // the middle: the pace rises there, and points well before and after it
    // keep their pace against each other, where the share of the writing
    // time gone would move at every one of them.
    const Pen::Sample written = Pen::Writer(7).sample(1);
    Pen::Sample slowed = written;
    double length = 0;
    for (const Pen::Stroke& stroke : written.strokes)
        for (size_t i = 1; i < stroke.points.size(); ++i)
            length += std::hypot(stroke.points[i].x - stroke.points[i - 1].x, stroke.points[i].y - stroke.points[i - 1].y);
    double at = 0, late = 0;
    for (size_t j = 0; j < slowed.strokes.size(); ++j) {
        const auto& was = written.strokes[j].points;
        auto& now = slowed.strokes[j].points;
        for (size_t i = 0; i < now.size(); ++i) {
            if (i > 0) {
                at += std::hypot(was[i].x - was[i - 1].x, was[i].y - was[i - 1].y);
                if (at > 0.45 * length && at <= 0.55 * length)
                    late += 0.5 * (double(was[i].t) - double(was[i - 1].t));
            }
            now[i].t = was[i].t + uint32_t(std::lround(late));
        }
    }
    std::vector<float> before(Pen::Features), after(Pen::Features);
    QVERIFY(Pen::features(written, before.data()));
    QVERIFY(Pen::features(slowed, after.data()));
    float lo = 1e9f, hi = -1e9f, inside = -1e9f;
    for (int32_t k = 0; k < Pen::Points; ++k) {
        const double u = double(k) / (Pen::Points - 1);
        const float d = after[size_t(2 * Pen::Points + k)] - before[size_t(2 * Pen::Points + k)];
        if (u < 0.3 || u > 0.7) {
            lo = std::min(lo, d);
            hi = std::max(hi, d);
        } else {
            inside = std::max(inside, d);
        }
    }
    QVERIFY2(hi - lo < 0.05f, qPrintable(QString("points away from the stretch moved apart by %1").arg(hi - lo)));
    QVERIFY2(inside > hi + 0.25f, qPrintable(QString("the pace rose by %1 in the stretch").arg(inside - hi)));
}

void TestPenModule::sameWriting_data()
{
    QTest::addColumn<int>("slower"); // times as long
    QTest::addColumn<double>("size");
    QTest::addColumn<QPoint>("shift"); // pixels
    // The same shape, lifts and turns, and the pace at every point up by
    // log 2 (whole milliseconds stay whole).
    QTest::newRow("at half the speed") << 2 << 1.0 << QPoint();
    // The features read the ink in its own extent.
    QTest::newRow("smaller, up and left") << 1 << 0.6 << QPoint(-40, -25);
    QTest::newRow("larger, down and right") << 1 << 1.5 << QPoint(60, 30);
}

void TestPenModule::sameWriting()
{
    QFETCH(int, slower);
    QFETCH(double, size);
    QFETCH(QPoint, shift);
    const Pen::Sample written = Pen::Writer(7).sample(1);
    Pen::Sample s = written;
    for (Pen::Stroke& stroke : s.strokes)
        for (Pen::Point& p : stroke.points) {
            p.x = int32_t(std::lround(p.x * size)) + 100 * shift.x();
            p.y = int32_t(std::lround(p.y * size)) + 100 * shift.y();
            p.t *= uint32_t(slower);
        }
    std::vector<float> before(Pen::Features), after(Pen::Features);
    QVERIFY(Pen::features(written, before.data()));
    QVERIFY(Pen::features(s, after.data()));
    for (int32_t k = 0; k < Pen::Features; ++k) {
        const double moved = after[size_t(k)] - before[size_t(k)];
        const double expected = k >= 2 * Pen::Points && k < 3 * Pen::Points ? std::log(double(slower)) : 0.0;
        QVERIFY2(std::fabs(moved - expected) < 1e-3, qPrintable(QString("feature %1 moved by %2").arg(k).arg(moved)));
    }
}

void TestPenModule::peaks_data()
{
    QTest::addColumn<int>("peaks");
    QTest::addColumn<int>("gap"); // pixels the pen moves while lifted midway; -1: not lifted
    QTest::addColumn<int>("lifts");
    QTest::newRow("6 peaks") << 6 << -1 << 0;
    QTest::newRow("9 peaks") << 9 << -1 << 0;
    QTest::newRow("9 peaks, the pen lifted in place") << 9 << 0 << 0;
    QTest::newRow("9 peaks, the pen lifted and moved") << 9 << 60 << 1;
}

void TestPenModule::peaks()
{
    // A zigzag written with a shaking hand: its turns across the line, half
    // of them by the middle, and the lifts that move the pen are counted,
    // the shake and a lift in place not at all.
    QFETCH(int, peaks);
    QFETCH(int, gap);
    QFETCH(int, lifts);
    Pen::Sample s;
    s.width = Pen::PadWidth;
    s.height = Pen::PadHeight;
    s.strokes.resize(gap < 0 ? 1 : 2);
    constexpr int Step = 12; // points per rise or fall
    constexpr int Height = 60; // pixels
    const int total = 2 * peaks * Step;
    for (int i = 0; i <= total; ++i) {
        const int leg = i / Step, in = i % Step;
        const double rise = leg % 2 == 0 ? double(in) / Step : 1.0 - double(in) / Step;
        const bool second = gap >= 0 && i > total / 2;
        Pen::Point p;
        p.x = 400 * i + (second ? 100 * gap : 0);
        // A shake of 20 px that turns the pen back for a moment.
        p.y = int32_t(std::lround(100 * ((1.0 - rise) * Height + ((i / 3) % 2 == 0 ? 10 : -10))));
        p.t = uint32_t(10 * i);
        s.strokes[second ? 1 : 0].points.push_back(p);
    }
    std::vector<float> f(Pen::Features);
    QVERIFY(Pen::features(s, f.data()));
    const auto at = [&](int channel, int32_t k) { return f[size_t(channel * Pen::Points + k)]; };
    const int32_t middle = Pen::Points / 2, last = Pen::Points - 1;
    QCOMPARE(std::lround(at(3, last)), long(lifts));
    QVERIFY2(std::fabs(at(4, middle) - float(peaks - 1)) < 1.0f, qPrintable(QString("%1 turns by the middle").arg(at(4, middle))));
    QVERIFY2(std::fabs(at(4, last) - float(2 * peaks - 1)) < 0.5f, qPrintable(QString("%1 turns").arg(at(4, last))));
}

void TestPenModule::directions()
{
    // Along every output a writer's own samples vary by a unit or two (the
    // counts of lifts and turns vary more in some writers than in the
    // built-in ones), and writers differ by several; no block of outputs
    // repeats another (the same strong output in many neurons lets a vote
    // over the weights' signs find the key).
    constexpr int Writers = 40, Samples = 4;
    const size_t n = size_t(Pen::Features);
    std::vector<double> within(n, 0.0), sum(n, 0.0), square(n, 0.0);
    std::vector<float> raw(n), out(n);
    for (int w = 0; w < Writers; ++w) {
        std::vector<double> own(n, 0.0), ownSquare(n, 0.0);
        for (uint32_t k = 1; k <= Samples; ++k) {
            QVERIFY(Pen::features(Pen::Writer(600 + uint32_t(w)).sample(k), raw.data()));
            Pen::toParameters(raw.data(), Pen::builtInNorm(), out.data());
            for (size_t j = size_t(Pen::Directions); j < n; ++j)
                QVERIFY(out[j] != out[j - size_t(Pen::Directions)]);
            for (size_t j = 0; j < n; ++j) {
                own[j] += out[j];
                ownSquare[j] += double(out[j]) * out[j];
            }
        }
        for (size_t j = 0; j < n; ++j) {
            within[j] += (ownSquare[j] - own[j] * own[j] / Samples) / (Samples - 1) / Writers;
            sum[j] += own[j] / Samples;
            square[j] += own[j] * own[j] / (Samples * Samples);
        }
    }
    double own = 0, between = 0;
    for (size_t j = 0; j < n; ++j) {
        own += within[j] / double(n);
        between += (square[j] - sum[j] * sum[j] / Writers) / (Writers - 1) / double(n);
    }
    QVERIFY2(own > 0.5 && own < 2.5, qPrintable(QString("own variance %1").arg(own)));
    QVERIFY2(between > 4 * own, qPrintable(QString("writers' variance %1 against %2").arg(between).arg(own)));
}

QTEST_MAIN(TestPenModule)
#include "tst_penmodule.moc"

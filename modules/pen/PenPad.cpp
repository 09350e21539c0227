#include "modules/pen/PenPad.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTabletEvent>

namespace Pen {

namespace {

const QColor InkColour(26, 52, 128);
const QColor HintColour(160, 160, 160);
const QColor FrameColour(190, 190, 190);
constexpr double MouseWidth = 2.4;
constexpr double Margin = 12.0;

QPointF pixels(const Point& p) { return QPointF(p.x / 100.0, p.y / 100.0); }

int32_t hundredths(double v)
{
    const double h = std::round(v * 100.0);
    return h >= INT32_MAX ? INT32_MAX : h <= INT32_MIN ? INT32_MIN : int32_t(h);
}

uint16_t dimension(int v) { return uint16_t(std::min(std::max(v, 0), 65535)); }

QRectF bounds(const Sample& sample)
{
    bool any = false;
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    for (const Stroke& s : sample.strokes)
        for (const Point& p : s.points) {
            const QPointF q = pixels(p);
            if (!any) {
                x0 = x1 = q.x();
                y0 = y1 = q.y();
                any = true;
            }
            x0 = std::min(x0, q.x());
            x1 = std::max(x1, q.x());
            y0 = std::min(y0, q.y());
            y1 = std::max(y1, q.y());
        }
    return any ? QRectF(QPointF(x0, y0), QPointF(x1, y1)) : QRectF();
}

} // namespace

QTransform fit(const Sample& sample, const QRectF& target, double maxZoom)
{
    const QRectF ink = bounds(sample);
    const double zoom = std::min({maxZoom, target.width() / std::max(ink.width(), 1.0),
                                  target.height() / std::max(ink.height(), 1.0)});
    QTransform t;
    t.translate(target.center().x(), target.center().y());
    t.scale(zoom, zoom);
    t.translate(-ink.center().x(), -ink.center().y());
    return t;
}

void paint(QPainter& painter, const Sample& sample, const QTransform& transform, double widthScale)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const double mouseWidth = MouseWidth * widthScale;
    QPen pen(InkColour, mouseWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    for (const Stroke& s : sample.strokes) {
        const auto& p = s.points;
        if (p.size() == 1) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(InkColour);
            painter.drawEllipse(transform.map(pixels(p[0])), mouseWidth / 2, mouseWidth / 2);
            painter.setBrush(Qt::NoBrush);
            continue;
        }
        if (s.device != Tablet) {
            pen.setWidthF(mouseWidth);
            painter.setPen(pen);
            QPolygonF line;
            line.reserve(int(p.size()));
            for (const Point& q : p)
                line << transform.map(pixels(q));
            painter.drawPolyline(line);
            continue;
        }
        for (size_t i = 1; i < p.size(); ++i) {
            pen.setWidthF(widthScale * (1.0 + 3.0 * (p[i - 1].pressure + p[i].pressure) / (2.0 * 65535.0)));
            painter.setPen(pen);
            painter.drawLine(transform.map(pixels(p[i - 1])), transform.map(pixels(p[i])));
        }
    }
    painter.restore();
}

QImage render(const Sample& sample)
{
    constexpr double Height = 160, Widest = 800, Edge = 10;
    const QRectF ink = bounds(sample);
    double zoom = (Height - 2 * Edge) / std::max(ink.height(), 1.0);
    if (ink.width() * zoom + 2 * Edge > Widest)
        zoom = (Widest - 2 * Edge) / std::max(ink.width(), 1.0);
    const int width = int(std::ceil(std::max(Height, ink.width() * zoom + 2 * Edge)));
    QImage image(width, int(Height), QImage::Format_RGB32);
    image.fill(Qt::white);
    if (!sample.isEmpty()) {
        QPainter painter(&image);
        // Thicker than on the pad: the picture is mostly seen as a miniature.
        paint(painter, sample, fit(sample, QRectF(Edge, Edge, width - 2 * Edge, Height - 2 * Edge), zoom), 1.6);
    }
    return image;
}

Pad::Pad(PadListener* listener, QWidget* parent) : QWidget(parent), m_listener(listener)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    // The pad keeps its own pen-down state, so it takes every move.
    setMouseTracking(true);
    setCursor(Qt::CrossCursor);
    setFixedSize(PadWidth, PadHeight);
}

Pad::~Pad() = default;

void Pad::setCapturing(bool on)
{
    m_capturing = on;
    if (!on)
        m_down = false;
    update();
}

Sample Pad::take()
{
    m_down = false;
    Sample out;
    out.width = m_ink.width;
    out.height = m_ink.height;
    out.strokes.swap(m_ink.strokes);
    update();
    return out;
}

void Pad::clearInk()
{
    m_down = false;
    m_ink.clear();
    update();
}

void Pad::showSample(const Sample& sample)
{
    m_view.width = sample.width;
    m_view.height = sample.height;
    m_view.strokes = sample.strokes;
    update();
}

bool Pad::event(QEvent* e)
{
    // A listener may detach the pad while it reports; the provider then
    // defers the pad's deletion.
    ++m_inEvent;
    const bool done = QWidget::event(e);
    --m_inEvent;
    return done;
}

void Pad::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    painter.setPen(FrameColour);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    if (m_capturing || hasInk()) {
        if (!hasInk() && m_capturing) {
            painter.setPen(HintColour);
            painter.drawText(rect(), Qt::AlignCenter, tr("Напишите пароль"));
        }
        QTransform t;
        paint(painter, m_ink, t);
    } else if (!m_view.isEmpty()) {
        paint(painter, m_view, fit(m_view, QRectF(rect()).adjusted(Margin, Margin, -Margin, -Margin), 2.0));
    }
}

Point Pad::point(const QPointF& at, ulong stamp, double pressure)
{
    Point p;
    p.x = hundredths(at.x());
    p.y = hundredths(at.y());
    qint64 t = 0;
    if (m_eventTime)
        t = stamp >= m_firstStamp ? qint64(std::min<ulong>(stamp - m_firstStamp, UINT32_MAX)) : 0;
    else
        t = std::min<qint64>(m_clock.elapsed(), UINT32_MAX);
    if (!m_ink.strokes.empty() && !m_ink.strokes.back().points.empty())
        t = std::max<qint64>(t, m_ink.strokes.back().points.back().t);
    p.t = uint32_t(t);
    p.pressure = uint16_t(std::lround(std::min(std::max(pressure, 0.0), 1.0) * 65535.0));
    return p;
}

Pad::Notice Pad::down(const QPointF& at, ulong stamp, uint8_t device, double pressure)
{
    if (!m_capturing || m_down || m_ink.strokes.size() >= MaxStrokes || m_ink.pointCount() >= MaxPoints)
        return NoNotice;
    const bool first = m_ink.isEmpty();
    if (first) {
        m_eventTime = stamp != 0;
        m_firstStamp = stamp;
        m_clock.start();
        m_ink.width = dimension(width());
        m_ink.height = dimension(height());
    }
    Stroke s;
    s.device = device;
    s.points.push_back(point(at, stamp, pressure));
    m_ink.strokes.push_back(std::move(s));
    m_down = true;
    m_device = device;
    update();
    return first ? Started : NoNotice;
}

void Pad::move(const QPointF& at, ulong stamp, double pressure)
{
    if (!m_down || m_ink.strokes.empty() || m_ink.pointCount() >= MaxPoints)
        return;
    auto& points = m_ink.strokes.back().points;
    const Point p = point(at, stamp, pressure);
    if (p.x == points.back().x && p.y == points.back().y)
        return;
    const QPointF from = pixels(points.back());
    points.push_back(p);
    const double r = 4.0 + MouseWidth;
    update(QRectF(from, pixels(p)).normalized().adjusted(-r, -r, r, r).toAlignedRect());
}

void Pad::up(const QPointF& at, ulong stamp, double pressure)
{
    move(at, stamp, pressure);
    m_down = false;
}

Pad::Notice Pad::cancel()
{
    if (!m_capturing || (!hasInk() && !m_down))
        return NoNotice;
    clearInk();
    return Cancelled;
}

void Pad::notify(Notice notice)
{
    // Last thing a handler does: the listener may change the pad.
    if (!m_listener)
        return;
    if (notice == Started)
        m_listener->padStarted();
    else if (notice == Cancelled)
        m_listener->padCancelled();
}

void Pad::mousePressEvent(QMouseEvent* e)
{
    e->accept();
    // A pen's own events have drawn this stroke already.
    if (m_down && m_device == Tablet)
        return;
    if (e->button() == Qt::RightButton) {
        notify(cancel());
        return;
    }
    if (e->button() != Qt::LeftButton)
        return;
    setFocus(Qt::MouseFocusReason);
    notify(down(e->localPos(), e->timestamp(), Mouse, 0.0));
}

void Pad::mouseMoveEvent(QMouseEvent* e)
{
    e->accept();
    if (m_down && m_device == Mouse)
        move(e->localPos(), e->timestamp(), 0.0);
}

void Pad::mouseReleaseEvent(QMouseEvent* e)
{
    e->accept();
    if (e->button() == Qt::LeftButton && m_down && m_device == Mouse)
        up(e->localPos(), e->timestamp(), 0.0);
}

void Pad::tabletEvent(QTabletEvent* e)
{
    e->accept();
    switch (e->type()) {
    case QEvent::TabletPress:
        if (e->button() == Qt::RightButton) {
            notify(cancel());
            return;
        }
        setFocus(Qt::MouseFocusReason);
        notify(down(e->posF(), e->timestamp(), Tablet, e->pressure()));
        break;
    case QEvent::TabletMove:
        if (m_down && m_device == Tablet)
            move(e->posF(), e->timestamp(), e->pressure());
        break;
    case QEvent::TabletRelease:
        if (m_down && m_device == Tablet)
            up(e->posF(), e->timestamp(), e->pressure());
        break;
    default:
        break;
    }
}

void Pad::keyPressEvent(QKeyEvent* e)
{
    // Escape on an empty pad is left to the dialog around it.
    if (e->key() == Qt::Key_Escape && m_capturing && (hasInk() || m_down)) {
        e->accept();
        notify(cancel());
        return;
    }
    QWidget::keyPressEvent(e);
}

} // namespace Pen

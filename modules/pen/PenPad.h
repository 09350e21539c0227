#pragma once
// The drawing pad: a white writing area of one fixed size that records
// mouse, pen and tablet input as strokes of timed points while a capture
// runs, and otherwise shows a stored sample read-only. The first pen-down of a sample and a cancel
// (Escape or the right button) are reported to its listener, after the pad
// has finished with the input, so the listener may call back into the
// provider at once.

#include <QElapsedTimer>
#include <QImage>
#include <QWidget>

#include "modules/pen/PenStrokes.h"

class QPainter;
class QTabletEvent;

namespace Pen {

class PadListener {
public:
    virtual void padStarted() = 0;
    virtual void padCancelled() = 0;

protected:
    ~PadListener() = default;
};

class Pad : public QWidget {
    Q_OBJECT
public:
    Pad(PadListener* listener, QWidget* parent);
    ~Pad() override;

    void setListener(PadListener* listener) { m_listener = listener; }
    void setCapturing(bool on);
    bool isCapturing() const { return m_capturing; }
    bool hasInk() const { return !m_ink.isEmpty(); }
    const Sample& ink() const { return m_ink; }
    // Hands the drawing over (a stroke in progress ends here) and leaves the
    // pad empty for the next sample.
    Sample take();
    void clearInk();
    // Read-only view of a stored sample; an empty one shows a blank pad.
    void showSample(const Sample& sample);
    bool inEvent() const { return m_inEvent > 0; }

    QSize sizeHint() const override { return QSize(PadWidth, PadHeight); }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void tabletEvent(QTabletEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    enum Notice { NoNotice, Started, Cancelled };
    Notice down(const QPointF& at, ulong stamp, uint8_t device, double pressure);
    void move(const QPointF& at, ulong stamp, double pressure);
    void up(const QPointF& at, ulong stamp, double pressure);
    Notice cancel();
    void notify(Notice notice);
    Point point(const QPointF& at, ulong stamp, double pressure);

    PadListener* m_listener;
    bool m_capturing = false;
    bool m_down = false;
    uint8_t m_device = Mouse;
    Sample m_ink;
    Sample m_view;
    // Times come from the events when they carry them, else from the pad's
    // own clock; the choice is made at a sample's first point.
    bool m_eventTime = true;
    ulong m_firstStamp = 0;
    QElapsedTimer m_clock;
    int m_inEvent = 0;
};

// The transform that fits a sample's ink into a rectangle, keeping its
// proportions and never enlarging it beyond `maxZoom`.
QTransform fit(const Sample& sample, const QRectF& target, double maxZoom);
// Ink of a sample; widths follow the pressure where there is one.
void paint(QPainter& painter, const Sample& sample, const QTransform& transform, double widthScale = 1.0);
// The sample as a picture with a white background fitted around its ink.
QImage render(const Sample& sample);

} // namespace Pen

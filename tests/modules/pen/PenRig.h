#pragma once
// What the handwriting module's tests share: the module loaded by path,
// image buffers built by hand, and a driver that writes a synthetic sample
// onto the pad with tablet events.

#include <QApplication>
#include <QTabletEvent>
#include <QWidget>
#include <QtEndian>

#include "ModuleRig.h"
#include "modules/pen/PenStrokes.h"
#include "nbi/nbModule.h"

namespace penrig {

inline NbQueryComponentFn query() { return modrig::entryPoint(NBPEN_MODULE_PATH); }

inline nbIProvider* provider()
{
    return modrig::make<nbIProvider>(query(), CLSID_HandwritingProvider, IID_nbIProvider);
}
inline nbIProcessor* processor()
{
    return modrig::make<nbIProcessor>(query(), CLSID_HandwritingProcessor, IID_nbIProcessor);
}

// An image buffer: int32 length, the type, the bytes.
inline QByteArray image(const QByteArray& data, const Nb::Uuid& type = TECH_Handwriting)
{
    QByteArray out(4, '\0');
    qToLittleEndian<int32_t>(int32_t(data.size()), out.data());
    return out + QByteArray(reinterpret_cast<const char*>(type.data()), 16) + data;
}

inline QByteArray bytes(const Pen::Sample& s)
{
    Pen::Bytes b;
    Pen::write(s, b);
    return QByteArray(reinterpret_cast<const char*>(b.data()), int(b.size()));
}

inline QByteArray copyImage(const uint8_t* image)
{
    return QByteArray(reinterpret_cast<const char*>(image), 20 + qFromLittleEndian<int32_t>(image));
}

inline Pen::Sample sampleOf(const QByteArray& image)
{
    Pen::Sample s;
    Pen::read(reinterpret_cast<const uint8_t*>(image.constData()) + 20, size_t(image.size() - 20), s);
    return s;
}

inline void tablet(QWidget* pad, QEvent::Type type, const Pen::Point& p, Qt::MouseButton button)
{
    const QPointF at(p.x / 100.0, p.y / 100.0);
    QTabletEvent e(type, at, QPointF(pad->mapToGlobal(at.toPoint())), QTabletEvent::Stylus, QTabletEvent::Pen, p.pressure / 65535.0, 0,
                   0, 0, 0, 0, Qt::NoModifier, 1, button, type == QEvent::TabletRelease ? Qt::NoButton : button);
    e.setTimestamp(1000 + p.t);
    QApplication::sendEvent(pad, &e);
}

// Writes the sample's strokes onto the pad as a pen would.
inline void draw(QWidget* pad, const Pen::Sample& s)
{
    for (const Pen::Stroke& stroke : s.strokes) {
        const auto& p = stroke.points;
        tablet(pad, QEvent::TabletPress, p.front(), Qt::LeftButton);
        for (size_t i = 1; i + 1 < p.size(); ++i)
            tablet(pad, QEvent::TabletMove, p[i], Qt::LeftButton);
        tablet(pad, QEvent::TabletRelease, p.back(), Qt::LeftButton);
    }
}

} // namespace penrig

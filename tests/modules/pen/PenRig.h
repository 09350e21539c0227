#pragma once
// What the handwriting module's tests share: the module loaded by path, an
// event sink that records codes, image buffers built by hand, and a driver
// that writes a synthetic sample onto the pad with tablet events.

#include <QApplication>
#include <QLibrary>
#include <QTabletEvent>
#include <QWidget>
#include <QtEndian>

#include "modules/pen/PenStrokes.h"
#include "nbi/nbModule.h"

namespace penrig {

inline NbQueryComponentFn query()
{
    static QLibrary lib(QStringLiteral(NBPEN_MODULE_PATH));
    return reinterpret_cast<NbQueryComponentFn>(lib.resolve("NbQueryComponent"));
}

template <class T>
T* make(const Nb::Uuid& classId, const Nb::Uuid& iid)
{
    void* out = nullptr;
    NbQueryComponentFn q = query();
    return q && q(&classId, &iid, &out) == nbS_OK ? static_cast<T*>(out) : nullptr;
}

inline nbIProvider* provider() { return make<nbIProvider>(CLSID_HandwritingProvider, IID_nbIProvider); }
inline nbIProcessor* processor() { return make<nbIProcessor>(CLSID_HandwritingProcessor, IID_nbIProcessor); }

struct Sink : nbIEventHandler {
    virtual ~Sink() = default;
    uint32_t queryInterface(const Nb::Uuid*, void** out) override
    {
        *out = this;
        return 0;
    }
    uint32_t addRef() override { return 1; }
    uint32_t release() override { return 0; }
    uint32_t onEvent(uint32_t code) override
    {
        codes << code;
        return 0;
    }
    QList<uint32_t> codes;
};

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

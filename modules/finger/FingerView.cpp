#include "modules/finger/FingerView.h"

#include <QPainter>

namespace Finger {

FingerView::FingerView(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("fingerprintView"));
    setMinimumSize(128, 144);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

FingerView::~FingerView() { clearImage(); }

void FingerView::setImage(const GreyImage& image)
{
    clearImage();
    if (image.isNull())
        return;
    m_image = QImage(image.width, image.height, QImage::Format_Grayscale8);
    for (int y = 0; y < image.height; ++y)
        std::copy(image.pixels.data() + size_t(y) * size_t(image.width),
                  image.pixels.data() + size_t(y + 1) * size_t(image.width), m_image.scanLine(y));
    update();
}

void FingerView::clearImage()
{
    if (!m_image.isNull())
        Nb::wipe(m_image.bits(), size_t(m_image.sizeInBytes()));
    m_image = QImage();
    update();
}

void FingerView::setMessage(const QString& text)
{
    m_message = text;
    update();
}

void FingerView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), palette().base());
    QRect area = rect().adjusted(4, 4, -4, -4);
    // The message keeps a strip below the print to itself.
    QRect line = area;
    if (!m_message.isEmpty() && !m_image.isNull()) {
        line.setTop(area.bottom() - 2 * fontMetrics().height());
        area.setBottom(line.top() - 4);
    }
    if (!m_image.isNull() && area.width() > 0 && area.height() > 0) {
        const QSize size = m_image.size().scaled(area.size(), Qt::KeepAspectRatio);
        const QRect target(area.x() + (area.width() - size.width()) / 2,
                           area.y() + (area.height() - size.height()) / 2, size.width(), size.height());
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(target, m_image);
        p.setPen(palette().mid().color());
        p.drawRect(target.adjusted(0, 0, -1, -1));
    }
    if (m_message.isEmpty())
        return;
    p.setPen(palette().text().color());
    p.drawText(line, Qt::AlignCenter | Qt::TextWordWrap, m_message);
}

} // namespace Finger

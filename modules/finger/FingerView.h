#pragma once
// What the reader shows in the capture window: the last fingerprint image,
// scaled to fit, and a line telling the user what to do.

#include <QImage>
#include <QString>
#include <QWidget>

#include "modules/finger/FingerImage.h"

namespace Finger {

class FingerView : public QWidget {
public:
    explicit FingerView(QWidget* parent);
    ~FingerView() override;

    void setImage(const GreyImage& image);
    void clearImage();
    void setMessage(const QString& text);
    QString message() const { return m_message; }
    bool hasImage() const { return !m_image.isNull(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_image;
    QString m_message;
};

} // namespace Finger

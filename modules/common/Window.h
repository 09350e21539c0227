#pragma once
// What both providers do alike around the caller's window: their view put
// into it, and the picture of it copied into the caller's buffer.

#include <cstdint>
#include <cstring>

#include <QByteArray>
#include <QLayout>
#include <QVBoxLayout>
#include <QWidget>

#include "nbi/nbModule.h"
#include "qtnb/Data.h"

namespace Common {

// Adds view to the host's layout, with the alignment given (none: the view
// fills the room); a host without a layout gets a margin-free layout of
// ours, returned so that it goes with the view.
inline QLayout* place(QWidget* host, QWidget* view, Qt::Alignment alignment = {})
{
    if (QLayout* layout = host->layout()) {
        layout->addWidget(view);
        layout->setAlignment(view, alignment);
        return nullptr;
    }
    QVBoxLayout* own = new QVBoxLayout(host);
    own->setContentsMargins(0, 0, 0, 0);
    own->addWidget(view, 0, alignment);
    return own;
}

// Copies bytes into a caller's length-prefixed buffer when its length word
// gives room for them; the word then holds their count, so a caller whose
// buffer was too short learns the size it needs.
inline uint32_t fill(uint8_t* out, const QByteArray& bytes)
{
    const int32_t room = Nb::lengthWord(out);
    const bool fits = bytes.size() <= room;
    if (fits)
        std::memcpy(out, bytes.constData(), size_t(bytes.size()));
    Nb::setLengthWord(out, bytes.size());
    return fits ? nbS_OK : nbE_INSUFFICIENT_BUFFER;
}

} // namespace Common

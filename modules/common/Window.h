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

// The int32 little-endian length word in the 4 bytes before a caller's
// buffer.
inline int32_t lengthWord(const uint8_t* buffer)
{
    const uint8_t* p = buffer - 4;
    return int32_t(uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24));
}

inline void setLengthWord(uint8_t* buffer, int32_t n)
{
    uint8_t* p = buffer - 4;
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(uint32_t(n) >> (8 * i));
}

// Copies bytes into out when its length word gives room for them; the word
// then holds their count, so a caller whose buffer was too short learns
// the size it needs.
inline uint32_t fill(uint8_t* out, const QByteArray& bytes)
{
    const int32_t room = lengthWord(out);
    const bool fits = bytes.size() <= room;
    if (fits)
        std::memcpy(out, bytes.constData(), size_t(bytes.size()));
    setLengthWord(out, bytes.size());
    return fits ? nbS_OK : nbE_INSUFFICIENT_BUFFER;
}

} // namespace Common

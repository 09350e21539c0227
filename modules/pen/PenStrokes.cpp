#include "modules/pen/PenStrokes.h"

namespace Pen {

namespace {

const uint8_t Magic[4] = {'V', 'X', 'P', 'N'};

void put16(Bytes& out, uint16_t v)
{
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

void put32(Bytes& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(uint8_t(v >> (8 * i)));
}

uint16_t get16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }

uint32_t get32(const uint8_t* p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

} // namespace

size_t Sample::pointCount() const
{
    size_t n = 0;
    for (const Stroke& s : strokes)
        n += s.points.size();
    return n;
}

bool write(const Sample& sample, Bytes& out)
{
    out.clear();
    const size_t points = sample.pointCount();
    if (sample.strokes.empty() || sample.strokes.size() > MaxStrokes || points > MaxPoints)
        return false;
    uint32_t last = 0;
    for (const Stroke& s : sample.strokes) {
        if (s.points.empty() || s.device > Tablet)
            return false;
        for (const Point& p : s.points) {
            if (p.t < last)
                return false;
            last = p.t;
        }
    }
    out.reserve(HeaderBytes + sample.strokes.size() * StrokeHeadBytes + points * PointBytes);
    out.insert(out.end(), Magic, Magic + 4);
    put16(out, FormatVersion);
    put16(out, 0);
    put16(out, sample.width);
    put16(out, sample.height);
    put32(out, uint32_t(sample.strokes.size()));
    for (const Stroke& s : sample.strokes) {
        out.push_back(s.device);
        out.push_back(0);
        put16(out, 0);
        put32(out, uint32_t(s.points.size()));
        for (const Point& p : s.points) {
            put32(out, uint32_t(p.x));
            put32(out, uint32_t(p.y));
            put32(out, p.t);
            put16(out, p.pressure);
        }
    }
    return true;
}

bool read(const uint8_t* data, size_t length, Sample& out)
{
    out.clear();
    if (!data || length < HeaderBytes || std::memcmp(data, Magic, 4) != 0 || get16(data + 4) != FormatVersion)
        return false;
    const uint32_t count = get32(data + 12);
    if (count == 0 || count > MaxStrokes)
        return false;
    Sample s;
    s.width = get16(data + 8);
    s.height = get16(data + 10);
    s.strokes.resize(count);
    size_t pos = HeaderBytes;
    size_t total = 0;
    uint32_t last = 0;
    for (Stroke& stroke : s.strokes) {
        if (length - pos < StrokeHeadBytes)
            return false;
        stroke.device = data[pos];
        const uint32_t n = get32(data + pos + 4);
        pos += StrokeHeadBytes;
        total += n;
        // Checked before the multiplication, so that it cannot wrap.
        if (stroke.device > Tablet || n == 0 || total > MaxPoints || (length - pos) / PointBytes < n)
            return false;
        stroke.points.resize(n);
        for (Point& p : stroke.points) {
            p.x = int32_t(get32(data + pos));
            p.y = int32_t(get32(data + pos + 4));
            p.t = get32(data + pos + 8);
            p.pressure = get16(data + pos + 12);
            pos += PointBytes;
            if (p.t < last)
                return false;
            last = p.t;
        }
    }
    if (pos != length)
        return false;
    out.width = s.width;
    out.height = s.height;
    out.strokes.swap(s.strokes);
    return true;
}

} // namespace Pen

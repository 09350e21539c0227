#include "modules/finger/FingerImage.h"

#include <cstring>

#include <QBuffer>
#include <QImage>
#include <QtEndian>

#include "nbi/nbModule.h"

namespace Finger {

void GreyImage::wipe()
{
    Nb::wipe(pixels);
    pixels.shrink_to_fit();
    width = height = 0;
}

namespace ImageFormat {

namespace {

const char Magic[4] = {'V', 'X', 'F', 'P'};

bool withinLimits(int width, int height, int dpi)
{
    return width >= MinSide && width <= MaxSide && height >= MinSide && height <= MaxSide && dpi >= MinDpi &&
           dpi <= MaxDpi;
}

} // namespace

QByteArray encode(const GreyImage& image)
{
    if (image.isNull() || !withinLimits(image.width, image.height, image.dpi))
        return QByteArray();
    QByteArray out(HeaderSize + image.width * image.height, '\0');
    uchar* p = reinterpret_cast<uchar*>(out.data());
    std::memcpy(p, Magic, 4);
    qToLittleEndian<uint16_t>(Version, p + 4);
    qToLittleEndian<uint16_t>(uint16_t(HeaderSize), p + 6);
    qToLittleEndian<uint16_t>(uint16_t(image.width), p + 8);
    qToLittleEndian<uint16_t>(uint16_t(image.height), p + 10);
    qToLittleEndian<uint16_t>(uint16_t(image.dpi), p + 12);
    std::memcpy(p + HeaderSize, image.pixels.data(), image.pixels.size());
    return out;
}

bool decode(const uint8_t* bytes, int64_t length, GreyImage& out)
{
    if (!bytes || length < HeaderSize || std::memcmp(bytes, Magic, 4) != 0)
        return false;
    if (qFromLittleEndian<uint16_t>(bytes + 4) != Version || qFromLittleEndian<uint16_t>(bytes + 6) != HeaderSize ||
        qFromLittleEndian<uint16_t>(bytes + 14) != 0)
        return false;
    const int width = qFromLittleEndian<uint16_t>(bytes + 8);
    const int height = qFromLittleEndian<uint16_t>(bytes + 10);
    const int dpi = qFromLittleEndian<uint16_t>(bytes + 12);
    if (!withinLimits(width, height, dpi) || length != int64_t(HeaderSize) + int64_t(width) * height)
        return false;
    out.wipe();
    out.width = width;
    out.height = height;
    out.dpi = dpi;
    out.pixels.assign(bytes + HeaderSize, bytes + length);
    return true;
}

uint8_t* newSample(const GreyImage& image, const Nb::Uuid& type)
{
    QByteArray bytes = encode(image);
    if (bytes.isEmpty())
        return nullptr;
    uint8_t* sample = new uint8_t[size_t(SampleHead + bytes.size())];
    qToLittleEndian<int32_t>(int32_t(bytes.size()), sample);
    std::memcpy(sample + 4, type.data(), size_t(Nb::Uuid::Size));
    std::memcpy(sample + SampleHead, bytes.constData(), size_t(bytes.size()));
    Nb::wipe(bytes);
    return sample;
}

int64_t sampleSize(const uint8_t* sample)
{
    if (!sample)
        return 0;
    const int32_t n = qFromLittleEndian<int32_t>(sample);
    return n < 0 ? 0 : int64_t(SampleHead) + n;
}

void wipeSample(uint8_t* sample)
{
    if (!sample)
        return;
    Nb::wipe(sample, size_t(sampleSize(sample)));
    delete[] sample;
}

bool readSample(const uint8_t* sample, GreyImage& out)
{
    if (!sample)
        return false;
    const int32_t n = qFromLittleEndian<int32_t>(sample);
    if (n < HeaderSize || std::memcmp(sample + 4, TECH_Fingerprint.data(), size_t(Nb::Uuid::Size)) != 0)
        return false;
    return decode(sample + SampleHead, n, out);
}

QByteArray toPng(const GreyImage& image)
{
    if (image.isNull())
        return QByteArray();
    QImage picture(image.pixels.data(), image.width, image.height, image.width, QImage::Format_Grayscale8);
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "PNG");
    return out;
}

} // namespace ImageFormat

} // namespace Finger

#include "modules/pen/PenImage.h"

#include <climits>

#include "nbi/nbModule.h"

namespace Pen {

uint8_t* makeImage(const Sample& sample, const Nb::Uuid& type)
{
    Bytes data;
    if (!write(sample, data) || data.size() > size_t(INT32_MAX) - ImageHead)
        return nullptr;
    uint8_t* image = new (std::nothrow) uint8_t[ImageHead + data.size()];
    if (!image)
        return nullptr;
    const uint32_t n = uint32_t(data.size());
    for (int i = 0; i < 4; ++i)
        image[i] = uint8_t(n >> (8 * i));
    std::memcpy(image + 4, type.data(), 16);
    std::memcpy(image + ImageHead, data.data(), data.size());
    return image;
}

bool readImage(const uint8_t* image, Sample& out)
{
    out.clear();
    if (!image)
        return false;
    const int32_t n = int32_t(uint32_t(image[0]) | (uint32_t(image[1]) << 8) | (uint32_t(image[2]) << 16) |
                              (uint32_t(image[3]) << 24));
    if (n < 0 || std::memcmp(image + 4, TECH_Handwriting.data(), 16) != 0)
        return false;
    return read(image + ImageHead, size_t(n), out);
}

void freeImage(uint8_t* image)
{
    if (!image)
        return;
    const uint32_t n = uint32_t(image[0]) | (uint32_t(image[1]) << 8) | (uint32_t(image[2]) << 16) |
                       (uint32_t(image[3]) << 24);
    Nb::wipe(image, ImageHead + n);
    delete[] image;
}

} // namespace Pen

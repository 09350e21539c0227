#include "modules/finger/FingerProcessor.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>

#include <QCryptographicHash>
#include <QDebug>

#include "modules/finger/ForeignFingers.h"
#include "modules/finger/Parallel.h"

namespace Finger {

namespace {

const Nb::Meta ParamsMeta(FeatureCount, Nb::MfR32, Nb::MtC);

void wipeAll(std::vector<GreyImage>& images)
{
    for (GreyImage& image : images)
        image.wipe();
}

// The copies of an enrolment impression: the left and the right side of
// the reader in turn left bare over this share of the window, as a press
// partly off the sensor leaves it. Wider, they weaken what the owner's
// impressions have in common so much that training must turn most weights
// towards the code, and a vote over a stolen container's weight signs then
// found the key.
constexpr float OffReader = 0.15f;
constexpr int BareSides[] = {0, 2};
// Then two copies scaled about the window's middle, once larger and once
// smaller by Scale: the skin stretches as a finger is pressed, the ridges
// then lie a few per cent further apart or closer, and every parameter,
// read at fixed distances from the core, moves with them. The presses
// stretched most gave the owner's misses several times as often as those
// stretched least; with these copies in place of those bare at the top and
// the bottom, the worst tuning finger's share of misses fell by a third or
// more. A wider scale let sign votes find the key of some containers.
constexpr float Scale = 0.02f;
constexpr float Scales[] = {1.0f + Scale, 1.0f - Scale};
constexpr int Copies = int(std::size(BareSides) + std::size(Scales));
// The engine trains on at most 64 own samples: copies beyond that are
// left out, a kind at a time (the copies go kind by kind), so that an
// enrolment of more than 12 impressions still trains.
constexpr size_t MaxOwn = 64;

// What the reader shows without a finger: the image's 90th percentile.
float background(const GreyImage& image)
{
    std::vector<uint8_t> sorted = image.pixels;
    std::nth_element(sorted.begin(), sorted.begin() + long(sorted.size() * 9 / 10), sorted.end());
    const float light = sorted[sorted.size() * 9 / 10];
    Nb::wipe(sorted.data(), sorted.size());
    return light;
}

// A copy of image with the share of the window on side (0 left, 1 top,
// 2 right, 3 bottom) showing what the reader shows without a finger: its
// light background and sensor noise of fixed seed, with an edge a few
// pixels soft.
GreyImage offReader(const GreyImage& image, int side, float share)
{
    GreyImage copy = image;
    const float light = background(image);
    uint32_t draw = 0x9E3779B9u * uint32_t(side + 1);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const float across = side == 0   ? float(x) / float(image.width)
                                 : side == 1 ? float(y) / float(image.height)
                                 : side == 2 ? 1.0f - float(x) / float(image.width)
                                             : 1.0f - float(y) / float(image.height);
            const float touch = std::clamp((across - share) * 25.0f, 0.0f, 1.0f);
            draw = draw * 1664525u + 1013904223u;
            // Uniform noise of 8 grey levels' deviation.
            const float bare = light + 27.0f * (float(draw >> 8) / 16777216.0f - 0.5f);
            uint8_t& pixel = copy.pixels[size_t(y) * size_t(image.width) + size_t(x)];
            pixel = uint8_t(std::clamp(touch * float(pixel) + (1.0f - touch) * bare, 0.0f, 255.0f) + 0.5f);
        }
    return copy;
}

// A copy of image with the print factor times as far from the window's
// middle (bilinear); beyond the image lies the reader's background.
GreyImage scaled(const GreyImage& image, float factor)
{
    const float light = background(image);
    const float cx = float(image.width) / 2.0f, cy = float(image.height) / 2.0f;
    const auto at = [&](int x, int y) {
        return x < 0 || y < 0 || x >= image.width || y >= image.height ? light : float(image.at(x, y));
    };
    GreyImage copy = image;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const float sx = cx + (float(x) - cx) / factor, sy = cy + (float(y) - cy) / factor;
            const int x0 = int(std::floor(sx)), y0 = int(std::floor(sy));
            const float fx = sx - float(x0), fy = sy - float(y0);
            const float grey = (at(x0, y0) * (1 - fx) + at(x0 + 1, y0) * fx) * (1 - fy) +
                               (at(x0, y0 + 1) * (1 - fx) + at(x0 + 1, y0 + 1) * fx) * fy;
            copy.pixels[size_t(y) * size_t(image.width) + size_t(x)] = uint8_t(std::clamp(grey, 0.0f, 255.0f) + 0.5f);
        }
    return copy;
}

} // namespace

FingerProcessor::FingerProcessor() = default;

FingerProcessor::~FingerProcessor() = default;

uint32_t FingerProcessor::reserved3() { return nbE_UNSUPPORTED_FUNCTION; }
uint32_t FingerProcessor::reserved7() { return nbE_UNSUPPORTED_FUNCTION; }

bool FingerProcessor::readImages(uint8_t* const* images, uint32_t count, std::vector<GreyImage>& out)
{
    out.assign(count, GreyImage());
    for (uint32_t i = 0; i < count; ++i)
        if (!ImageFormat::readSample(images[i], out[i])) {
            qDebug() << "fingerprint image" << i << "refused: not a fingerprint image of this module";
            wipeAll(out);
            return false;
        }
    return true;
}

const FeatureSpace& FingerProcessor::space() const
{
    return m_template.isNull() ? populationTemplate().space : m_template.space;
}

uint32_t FingerProcessor::convert(Nb::Matrix** params, uint8_t* const* images, uint32_t count, Nb::Matrix** extra)
{
    if (extra)
        *extra = nullptr;
    if (!params)
        return nbE_POINTER;
    *params = nullptr;
    if (count == 0 || !images)
        return nbE_PARAM;
    std::vector<GreyImage> read;
    if (!readImages(images, count, read))
        return nbE_PARAM;
    QByteArray set = m_enrolment.isEmpty() ? QByteArray() : digest(images, count);
    const bool enrolment = !set.isEmpty() && set == m_enrolment;
    Nb::wipe(set.data(), size_t(set.size()));
    forgetEnrolment();
    const size_t impressions = read.size();
    std::vector<size_t> source; // of each copy, its impression
    if (enrolment && impressions < MaxOwn) {
        std::vector<GreyImage> copies(impressions * Copies);
        std::vector<char> taken(copies.size());
        parallel(int(copies.size()), [&](int i) {
            const GreyImage& image = read[size_t(i) % impressions];
            const size_t kind = size_t(i) / impressions;
            copies[size_t(i)] = kind < std::size(BareSides)
                                    ? offReader(image, BareSides[kind], OffReader)
                                    : scaled(image, Scales[kind - std::size(BareSides)]);
            taken[size_t(i)] = showsCentre(copies[size_t(i)]);
        });
        for (size_t i = 0; i < copies.size(); ++i)
            if (taken[i]) {
                read.push_back(std::move(copies[i]));
                source.push_back(i % impressions);
            }
        wipeAll(copies);
    }
    std::vector<float> rows(read.size() * size_t(FeatureCount));
    std::vector<int> kinds(read.size());
    parallel(int(read.size()), [&](int i) {
        RawFeatures raw = featuresOf(read[size_t(i)]);
        Discriminant::Vector scaled;
        space().apply(raw, scaled.data());
        kinds[size_t(i)] = discriminant().kindOf(scaled.data());
        discriminant().apply(scaled.data(), rows.data() + size_t(i) * FeatureCount);
        Nb::wipe(&raw, sizeof raw);
        Nb::wipe(scaled.data(), sizeof scaled);
    });
    // A copy whose print now looks like another kind (a loop cut below its
    // core taken for an arch) is read in that kind's directions: far from
    // every press of its owner, it would only widen what training takes
    // for the owner's noise.
    std::vector<size_t> kept;
    for (size_t i = 0; i < read.size(); ++i)
        if (i < impressions || (kinds[i] == kinds[source[i - impressions]] && kept.size() < MaxOwn))
            kept.push_back(i);
    if (enrolment)
        qDebug() << "fingerprint enrolment:" << impressions << "impressions and" << kept.size() - impressions
                 << "copies partly off the reader";
    Nb::Matrix* m = new Nb::Matrix(int32_t(kept.size()), ParamsMeta);
    for (size_t r = 0; r < kept.size(); ++r)
        std::memcpy(m->at(0, int32_t(r)), rows.data() + kept[r] * FeatureCount, FeatureCount * sizeof(float));
    Nb::wipe(rows.data(), rows.size() * sizeof(float));
    wipeAll(read);
    *params = m_handed.add(m);
    return nbS_OK;
}

void FingerProcessor::forgetEnrolment()
{
    Nb::wipe(m_enrolment.data(), size_t(m_enrolment.size()));
    m_enrolment.clear();
}

QByteArray FingerProcessor::digest(uint8_t* const* images, uint32_t count)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (uint32_t i = 0; i < count; ++i)
        hash.addData(reinterpret_cast<const char*>(images[i]), int(ImageFormat::sampleSize(images[i])));
    return hash.result();
}

uint32_t FingerProcessor::getTemplate(Nb::Matrix** first, Nb::Matrix** templ, uint8_t* const* images,
                                      uint32_t count)
{
    forgetEnrolment();
    if (first)
        *first = nullptr;
    if (!templ)
        return nbE_POINTER;
    *templ = nullptr;
    if (count == 0)
        return nbS_OK;
    if (!images)
        return nbE_POINTER;
    std::vector<GreyImage> read;
    if (!readImages(images, count, read))
        return nbE_PARAM;
    bool print = false;
    uint32_t arches = 0;
    for (const GreyImage& image : read) {
        print = print || RidgeField(image).coverage() > 0.05f;
        arches += isArch(image);
    }
    wipeAll(read);
    if (!print) {
        qDebug() << "no fingerprint template: none of the" << count << "images shows a print";
        return nbS_OK;
    }
    // An arch, plain or tented, has little beyond its kind that tells it
    // from other arches: strangers' plain arches gave such an owner's key
    // about one press in twenty, and the built-in foreign fingers, tried on
    // a stolen container, opened plain and tented arches' alike. Such a
    // finger is not enrolled; the user takes another.
    if (2 * arches > count) {
        qDebug() << "no fingerprint template:" << arches << "of the" << count
                 << "images show an arch; another finger must be enrolled";
        return nbE_PARAM;
    }
    *templ = m_handed.add(populationTemplate().toMatrix());
    m_enrolment = digest(images, count);
    return nbS_OK;
}

uint32_t FingerProcessor::setTemplate(const Nb::Matrix* templ, const Nb::Uuid* imageType)
{
    if (!templ || !imageType)
        return nbE_POINTER;
    if (*imageType != TECH_Fingerprint)
        return nbE_PARAM;
    FingerTemplate loaded;
    if (!loaded.fromMatrix(*templ)) {
        qDebug() << "fingerprint template refused: not a template of this layout (a container made before it "
                    "must be made again)";
        return nbE_PARAM;
    }
    m_template = loaded;
    return nbS_OK;
}

uint32_t FingerProcessor::getAlienParams(Nb::Matrix** out, int32_t count, const Nb::Uuid* imageType, uint32_t)
{
    if (!out || !imageType)
        return nbE_POINTER;
    *out = nullptr;
    if (*imageType != TECH_Fingerprint || count == 0 || count < -1)
        return nbE_PARAM;
    const std::vector<RawFeatures>& foreign = foreignFeatures();
    const int32_t all = int32_t(foreign.size());
    const int32_t n = count == -1 ? all : std::min(count, all);
    Nb::Matrix* m = new Nb::Matrix(n, ParamsMeta);
    for (int32_t i = 0; i < n; ++i) {
        Discriminant::Vector scaled;
        space().apply(foreign[size_t(i)], scaled.data());
        discriminant().apply(scaled.data(), reinterpret_cast<float*>(m->at(0, i)));
    }
    *out = m_handed.add(m);
    return nbS_OK;
}

uint32_t FingerProcessor::freeBuffer(void* buffer)
{
    return m_handed.giveBack(static_cast<Nb::Matrix*>(buffer), nbE_PARAM, "fingerprint processor:");
}

} // namespace Finger

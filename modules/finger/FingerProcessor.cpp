#include "modules/finger/FingerProcessor.h"

#include <cstring>

#include <QDebug>

#include "modules/finger/ForeignFingers.h"

namespace Finger {

namespace {

const Nb::Meta ParamsMeta(FeatureCount, Nb::MfR32, Nb::MtC);

void wipeAll(std::vector<GreyImage>& images)
{
    for (GreyImage& image : images)
        image.wipe();
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
    Nb::Matrix* m = new Nb::Matrix(int32_t(count), ParamsMeta);
    for (uint32_t i = 0; i < count; ++i) {
        RawFeatures raw = featuresOf(read[i]);
        Discriminant::Vector scaled;
        space().apply(raw, scaled.data());
        discriminant().apply(scaled.data(), reinterpret_cast<float*>(m->at(0, int32_t(i))));
        Nb::wipe(&raw, sizeof raw);
        Nb::wipe(scaled.data(), sizeof scaled);
    }
    wipeAll(read);
    *params = m_handed.add(m);
    return nbS_OK;
}

uint32_t FingerProcessor::getTemplate(Nb::Matrix** first, Nb::Matrix** templ, uint8_t* const* images,
                                      uint32_t count)
{
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

#include "modules/finger/FingerProcessor.h"

#include <cstring>

#include <QDebug>

#include "modules/finger/ForeignFingers.h"

namespace Finger {

namespace {

const Nb::Meta ParamsMeta(FeatureCount, Nb::MfR32, Nb::MtC);

std::vector<float> floatsOf(const Nb::Matrix& m)
{
    const float* v = reinterpret_cast<const float*>(m.at(0, 0));
    return std::vector<float>(v, v + m.meta(0).count);
}

} // namespace

FingerProcessor::FingerProcessor() = default;

FingerProcessor::~FingerProcessor() = default;

uint32_t FingerProcessor::reserved3() { return nbE_UNSUPPORTED_FUNCTION; }
uint32_t FingerProcessor::reserved7() { return nbE_UNSUPPORTED_FUNCTION; }

bool FingerProcessor::readImages(uint8_t* const* images, uint32_t count, std::vector<RidgeField>& fields)
{
    fields.clear();
    for (uint32_t i = 0; i < count; ++i) {
        GreyImage image;
        if (!ImageFormat::readSample(images[i], image)) {
            qDebug() << "fingerprint image" << i << "refused: not a fingerprint image of this module";
            return false;
        }
        fields.emplace_back(image);
        image.wipe();
    }
    return true;
}

const FeatureSpace& FingerProcessor::space() const
{
    return m_template.isNull() ? selfSpace() : m_template.space;
}

std::vector<float> FingerProcessor::normalised(const std::vector<RawFeatures>& raw) const
{
    std::vector<float> out(raw.size() * size_t(FeatureCount));
    for (size_t i = 0; i < raw.size(); ++i)
        space().apply(raw[i], out.data() + i * size_t(FeatureCount));
    return out;
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
    std::vector<RidgeField> fields;
    if (!readImages(images, count, fields))
        return nbE_PARAM;
    Nb::Matrix* m = new Nb::Matrix(int32_t(count), ParamsMeta);
    for (uint32_t i = 0; i < count; ++i) {
        const RidgeField& f = fields[i];
        const RawFeatures raw =
            m_template.isNull() ? FingerTemplate::selfFeatures(f) : m_template.features(f, m_template.place(f));
        space().apply(raw, reinterpret_cast<float*>(m->at(0, int32_t(i))));
    }
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
    std::vector<RidgeField> fields;
    if (!readImages(images, count, fields))
        return nbE_PARAM;
    std::vector<const RidgeField*> prints;
    for (const RidgeField& f : fields)
        prints.push_back(&f);
    FingerTemplate made = FingerTemplate::build(prints);
    if (made.isNull()) {
        qDebug() << "no fingerprint template: none of the" << count << "images shows a print";
        return nbS_OK;
    }
    const std::vector<RawFeatures> foreign = foreignFeatures(made);
    std::vector<RawFeatures> own;
    for (const RidgeField& f : fields)
        own.push_back(made.features(f, made.place(f)));
    made.space = FeatureSpace::fit(foreign, own);
    Nb::Matrix* m = made.toMatrix();
    m_madeData = floatsOf(*m);
    std::vector<float> normal(foreign.size() * size_t(FeatureCount));
    for (size_t i = 0; i < foreign.size(); ++i)
        made.space.apply(foreign[i], normal.data() + i * size_t(FeatureCount));
    m_madeForeign.swap(normal);
    *templ = m_handed.add(m);
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
        qDebug() << "fingerprint template refused: not a template of this module";
        return nbE_PARAM;
    }
    std::vector<float> data = floatsOf(*templ);
    if (!m_template.isNull() && data == m_templateData)
        return nbS_OK;
    m_template = loaded;
    m_foreign.clear();
    if (data == m_madeData)
        m_foreign = m_madeForeign;
    m_templateData.swap(data);
    return nbS_OK;
}

uint32_t FingerProcessor::getAlienParams(Nb::Matrix** out, int32_t count, const Nb::Uuid* imageType, uint32_t)
{
    if (!out || !imageType)
        return nbE_POINTER;
    *out = nullptr;
    if (*imageType != TECH_Fingerprint || count == 0 || count < -1)
        return nbE_PARAM;
    if (m_foreign.empty())
        m_foreign = normalised(foreignFeatures(m_template));
    const int32_t all = int32_t(m_foreign.size() / size_t(FeatureCount));
    const int32_t n = count == -1 ? all : std::min(count, all);
    Nb::Matrix* m = new Nb::Matrix(n, ParamsMeta);
    for (int32_t i = 0; i < n; ++i)
        std::memcpy(m->at(0, i), m_foreign.data() + size_t(i) * size_t(FeatureCount),
                    size_t(FeatureCount) * sizeof(float));
    *out = m_handed.add(m);
    return nbS_OK;
}

uint32_t FingerProcessor::freeBuffer(void* buffer)
{
    return m_handed.giveBack(static_cast<Nb::Matrix*>(buffer), nbE_PARAM, "fingerprint processor:");
}

} // namespace Finger

#include "modules/pen/PenProcessor.h"

#include <QDebug>

namespace Pen {

namespace {

// More images than any enrolment takes: a count beyond it is a fault.
constexpr uint32_t MaxImages = 100000;

bool complete(const Nb::Matrix* m)
{
    if (!m || m->rows() < 1 || !m->data())
        return false;
    for (int32_t r = 0; r < m->rows(); ++r) {
        if (!m->data()[r])
            return false;
        for (int32_t c = 0; c < m->cols(); ++c)
            if (m->data()[r][c].isNull())
                return false;
    }
    return true;
}

float* cell(Nb::Matrix* m, int32_t col) { return reinterpret_cast<float*>(m->at(0, col)); }

} // namespace

uint32_t Processor::reserved3() { return nbE_UNSUPPORTED_FUNCTION; }

uint32_t Processor::reserved7() { return nbE_UNSUPPORTED_FUNCTION; }

Norm Processor::norm()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_pinned ? m_norm : builtInNorm();
}

Nb::Matrix* Processor::handOut(Nb::Matrix* m)
{
    if (!complete(m)) {
        delete m;
        return nullptr;
    }
    return m_handed.add(m);
}

Nb::Matrix* Processor::parameters(uint8_t* const* images, uint32_t count, const Norm& n)
{
    Nb::Matrix* m = new (std::nothrow) Nb::Matrix(int32_t(count), Nb::Meta(Features, Nb::MfR32, Nb::MtC));
    if (!m || !complete(m) || m->cols() != int32_t(count)) {
        delete m;
        return nullptr;
    }
    Wiped<float> raw(static_cast<size_t>(Features));
    for (uint32_t i = 0; i < count; ++i) {
        Sample sample;
        if (!readImage(images[i], sample) || !features(sample, raw.data())) {
            qDebug() << "handwriting processor: image" << i << "of" << count << "refused";
            Common::destroy(m);
            return nullptr;
        }
        toParameters(raw.data(), n, cell(m, int32_t(i)));
    }
    return m;
}

uint32_t Processor::convert(Nb::Matrix** params, uint8_t* const* images, uint32_t count, Nb::Matrix** extra)
{
    if (extra)
        *extra = nullptr;
    if (!params || !images)
        return nbE_POINTER;
    if (count == 0 || count > MaxImages)
        return nbE_PARAM;
    Nb::Matrix* m = parameters(images, count, norm());
    if (!m)
        return nbE_PARAM;
    *params = handOut(m);
    return *params ? nbS_OK : nbE_OUT_OF_MEMORY;
}

uint32_t Processor::getTemplate(Nb::Matrix** first, Nb::Matrix** templ, uint8_t* const* images, uint32_t count)
{
    if (first)
        *first = nullptr;
    if (!templ || (count > 0 && !images))
        return nbE_POINTER;
    if (count > MaxImages)
        return nbE_PARAM;
    const Norm n = norm();
    // The template does not depend on the images, but they must be ours.
    if (count > 0) {
        Nb::Matrix* check = parameters(images, count, n);
        if (!check)
            return nbE_PARAM;
        Common::destroy(check);
    }
    Nb::Matrix* m = new (std::nothrow) Nb::Matrix(1, Nb::Meta(TemplateSize, Nb::MfR32, Nb::MtC));
    if (!m || !complete(m) || m->cols() != 1) {
        delete m;
        return nbE_OUT_OF_MEMORY;
    }
    toTemplate(n, cell(m, 0));
    *templ = handOut(m);
    return *templ ? nbS_OK : nbE_OUT_OF_MEMORY;
}

uint32_t Processor::setTemplate(const Nb::Matrix* templ, const Nb::Uuid* imageType)
{
    if (!templ || !imageType)
        return nbE_POINTER;
    if (*imageType != TECH_Handwriting || templ->rows() < 1 || templ->cols() < 1 || !complete(templ))
        return nbE_PARAM;
    const Nb::Meta meta = templ->meta(0);
    Norm n;
    if (meta.format != Nb::MfR32 || !fromTemplate(reinterpret_cast<const float*>(templ->at(0, 0)), meta.count, n)) {
        qDebug() << "handwriting processor: template refused";
        return nbE_PARAM;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_norm = n;
    m_pinned = true;
    return nbS_OK;
}

uint32_t Processor::getAlienParams(Nb::Matrix** out, int32_t count, const Nb::Uuid* imageType, uint32_t)
{
    if (!out || !imageType)
        return nbE_POINTER;
    if (*imageType != TECH_Handwriting || count == 0 || count < -1)
        return nbE_PARAM;
    const int32_t n = count == -1 ? AlienCount : std::min(count, AlienCount);
    const std::vector<float>& raw = alienFeatures();
    const Norm norm = this->norm();
    Nb::Matrix* m = new (std::nothrow) Nb::Matrix(n, Nb::Meta(Features, Nb::MfR32, Nb::MtC));
    if (!m || !complete(m) || m->cols() != n) {
        delete m;
        return nbE_OUT_OF_MEMORY;
    }
    for (int32_t i = 0; i < n; ++i)
        toParameters(raw.data() + size_t(i) * Features, norm, cell(m, i));
    *out = handOut(m);
    return *out ? nbS_OK : nbE_OUT_OF_MEMORY;
}

uint32_t Processor::freeBuffer(void* buffer)
{
    return m_handed.giveBack(static_cast<Nb::Matrix*>(buffer), nbE_OBJECT_NOT_FOUND, "handwriting processor:");
}

} // namespace Pen

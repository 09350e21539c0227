#include "Enrolment.h"

#include <cstring>

#include <QPixmap>
#include <QtEndian>

#include "AttackRig.h"
#include "EngineRig.h"
#include "ModuleRig.h"
#include "modules/finger/FingerImage.h"
#include "modules/finger/SyntheticFinger.h"
#include "modules/pen/PenStrokes.h"
#include "modules/pen/PenSynth.h"
#include "nb-cpp/BimBase.h"
#include "nb-cpp/Exception.h"
#include "nb-cpp/Nbc.h"
#include "nbi/nbModule.h"

namespace attack {

namespace {

const Nb::Uuid& technology(Modality m) { return m == Modality::Pen ? TECH_Handwriting : TECH_Fingerprint; }

// One sample of the person as the provider would hand it over.
bool addSample(Modality m, uint32_t person, uint32_t k, BimBase& set)
{
    bool ok = false;
    if (m == Modality::Pen) {
        // The image layout: int32 length, the type, the stroke bytes.
        Pen::Bytes strokes;
        Pen::write(Pen::Writer(person).sample(k + 1), strokes);
        QByteArray image(4, '\0');
        qToLittleEndian<int32_t>(int32_t(strokes.size()), image.data());
        image += QByteArray(reinterpret_cast<const char*>(TECH_Handwriting.data()), 16);
        image += QByteArray(reinterpret_cast<const char*>(strokes.data()), int(strokes.size()));
        ok = set.insert(set.count(), reinterpret_cast<const uint8_t*>(image.constData()), QPixmap());
    } else {
        Finger::GreyImage grey = Finger::SyntheticFinger(person).impression(Finger::Press::random(person * 100 + k));
        uint8_t* image = Finger::ImageFormat::newSample(grey, TECH_Fingerprint);
        grey.wipe();
        ok = set.insert(set.count(), image, QPixmap());
        Finger::ImageFormat::wipeSample(image);
    }
    return ok;
}

} // namespace

Enroller::Enroller(Modality modality, const char* modulePath, const char* ulvarPath) : m_modality(modality)
{
    try {
        m_ready = modrig::install(m_dispatcher, m_dir, {QString::fromUtf8(modulePath), QString::fromUtf8(ulvarPath)}) &&
                  m_dispatcher.getProcessor(technology(modality), &m_processor, nullptr);
    } catch (const Exception&) {
        m_ready = false;
    }
}

bool Enroller::enrol(uint32_t person, const QByteArray& key, Enrolled& out)
{
    if (!m_ready)
        return false;
    try {
        BimBase set;
        for (int k = 0; k < Samples; ++k)
            if (!addSample(m_modality, person, uint32_t(k), set))
                return false;
        // The training wizard's order: template, parameters, strangers.
        Nbc nbc;
        nbc.setCodeLength(key.size() * 8);
        if (!nbc.setStandardScheme(m_modality == Modality::Pen ? 0 : 1))
            return false;
        Nb::Matrix templ, own, alien;
        if (!m_processor.getTemplate(&templ, &set) || !m_processor.setTemplate(&templ) ||
            !nbc.setTemplate(Nb::SlotId(1), set.imageType(0), templ) || !m_processor.convert(&own, &set) ||
            !m_processor.getAlienParams(&alien))
            return false;
        out.key = key;
        out.container = modrig::train(m_dispatcher, nbc, key, {&own}, {&alien});
        const int32_t features = own.meta(0).count;
        out.samples = own.cols();
        out.own.resize(size_t(out.samples) * size_t(features));
        for (int32_t c = 0; c < out.samples; ++c)
            std::memcpy(out.own.data() + size_t(c) * size_t(features), own.at(0, c), size_t(features) * sizeof(float));
        return !out.container.isEmpty();
    } catch (const Exception&) {
        return false;
    }
}

bool Enroller::aliens(const Stolen& stolen, Nb::Matrix& out)
{
    try {
        return m_ready && stolen.templ && m_processor.setTemplate(stolen.templ.get()) &&
               m_processor.getAlienParams(&out);
    } catch (const Exception&) {
        return false;
    }
}

} // namespace attack

#pragma once
// The fingerprint processor: 256 parameters per impression (see
// FingerTemplate.h), each from that impression alone; a template that is
// the same for every finger; and the built-in foreign parameters.
//
// The enrolment is the set a template was made from last: converting that
// set once more (the training wizard's order: template, then parameters)
// hands out, after one row per impression, rows of copies of each
// impression with a side of the reader left bare (OffReader) or the print
// scaled as stretched skin scales it (Scale), those the reader would take.
// A press partly off the sensor or stretched then counts as the owner's in
// training: without them, such presses gave most of the owner's misses. Any
// other set gives one row per impression.

#include <cstdint>
#include <vector>

#include <QByteArray>

#include "modules/common/Component.h"
#include "modules/common/Handed.h"
#include "modules/finger/FingerTemplate.h"
#include "nbi/nbModule.h"

namespace Finger {

class FingerProcessor final : public Common::Component<nbIProcessor, IID_nbIProcessor> {
public:
    FingerProcessor();

    uint32_t reserved3() override;
    uint32_t convert(Nb::Matrix** params, uint8_t* const* images, uint32_t count, Nb::Matrix** extra) override;
    uint32_t getTemplate(Nb::Matrix** first, Nb::Matrix** templ, uint8_t* const* images, uint32_t count) override;
    uint32_t setTemplate(const Nb::Matrix* templ, const Nb::Uuid* imageType) override;
    uint32_t reserved7() override;
    uint32_t getAlienParams(Nb::Matrix** out, int32_t count, const Nb::Uuid* imageType, uint32_t reserved) override;
    uint32_t freeBuffer(void* buffer) override;

private:
    ~FingerProcessor() override;
    // The images, or false when one is not a fingerprint image of this module.
    static bool readImages(uint8_t* const* images, uint32_t count, std::vector<GreyImage>& out);
    const FeatureSpace& space() const;
    // A digest of the sample buffers, to know the enrolment again.
    static QByteArray digest(uint8_t* const* images, uint32_t count);
    void forgetEnrolment();

    // The template loaded last; until then the population's, which is the same.
    FingerTemplate m_template;
    // The digest of the set the last template was made from, until it is
    // converted.
    QByteArray m_enrolment;
    // Parameters describe a finger: nothing of them stays behind.
    Common::Handed<Nb::Matrix, Common::destroy> m_handed;
};

} // namespace Finger

#include "modules/finger/ForeignFingers.h"

#include <utility>

#include "modules/finger/Parallel.h"
#include "modules/finger/SyntheticFinger.h"
#include "qtnb/Wipe.h"

namespace Finger {

namespace {

// The within-finger scatter comes from the first RepeatFingers foreign
// fingers pressed Repeats times each, framed as a live impression is.
constexpr int RepeatFingers = 80;
constexpr int Repeats = 4;
// Seeds of the further presses: RepeatSeed + Repeats * finger + k, k >= 1.
constexpr uint32_t RepeatSeed = ForeignSeed + 0x8000u;

// The kinds of flow the frame tells apart: arches of both sorts, left
// loops, right loops, whorls.
int kindOf(SyntheticFinger::Pattern pattern)
{
    switch (pattern) {
    case SyntheticFinger::Arch:
    case SyntheticFinger::TentedArch:
        return 0;
    case SyntheticFinger::LeftLoop:
        return 1;
    case SyntheticFinger::RightLoop:
        return 2;
    case SyntheticFinger::Whorl:
        break;
    }
    return 3;
}

struct Foreign {
    Foreign()
    {
        // The images stay until the texture is read in each print's frame,
        // which needs the mean flow of all of them.
        std::vector<GreyImage> images(ForeignCount);
        std::vector<RidgeField> fields(ForeignCount);
        std::vector<int> kinds(ForeignCount);
        parallel(ForeignCount, [&](int i) {
            const uint32_t seed = ForeignSeed + uint32_t(i);
            const SyntheticFinger finger(seed);
            images[size_t(i)] = finger.impression(Press::random(seed));
            fields[size_t(i)] = RidgeField(images[size_t(i)]);
            kinds[size_t(i)] = kindOf(finger.pattern());
        });
        std::vector<const RidgeField*> prints;
        for (const RidgeField& f : fields)
            prints.push_back(&f);
        std::vector<Placement> frames;
        frame = FlowFrame::build(prints, &frames, &kinds);
        features.resize(ForeignCount);
        parallel(ForeignCount, [&](int i) {
            features[size_t(i)] = printFeatures(images[size_t(i)], fields[size_t(i)], frames[size_t(i)]);
        });
        fill = FillModel::fit(features);
        parallel(ForeignCount, [&](int i) { fill.fill(features[size_t(i)]); });
        population = FingerTemplate(FeatureSpace::fit(features));

        std::vector<RawFeatures> pressed(size_t(RepeatFingers * Repeats));
        parallel(RepeatFingers, [&](int i) {
            const SyntheticFinger finger(ForeignSeed + uint32_t(i));
            for (int k = 0; k < Repeats; ++k) {
                const size_t j = size_t(i * Repeats + k);
                if (k == 0) {
                    pressed[j] = printFeatures(images[size_t(i)], fields[size_t(i)], frame.frame(fields[size_t(i)]));
                } else {
                    GreyImage image = finger.impression(Press::random(RepeatSeed + uint32_t(j)));
                    const RidgeField field(image);
                    pressed[j] = printFeatures(image, field, frame.frame(field));
                    image.wipe();
                }
                fill.fill(pressed[j]);
            }
        });
        for (GreyImage& image : images)
            image.wipe();
        std::vector<Discriminant::Vector> spread(features.size());
        for (size_t i = 0; i < features.size(); ++i)
            population.space.apply(features[i], spread[i].data());
        const std::vector<Discriminant::Vector> finger(Repeats);
        std::vector<std::vector<Discriminant::Vector>> repeats(RepeatFingers, finger);
        for (size_t j = 0; j < pressed.size(); ++j)
            population.space.apply(pressed[j], repeats[j / Repeats][j % Repeats].data());
        discriminant = Discriminant::fit(std::move(spread), std::move(repeats), kinds);
    }
    FlowFrame frame;
    FillModel fill;
    std::vector<RawFeatures> features;
    FingerTemplate population;
    Discriminant discriminant;
};

const Foreign& foreign()
{
    static const Foreign f;
    return f;
}

} // namespace

const FlowFrame& meanFlow() { return foreign().frame; }

RawFeatures featuresOf(const GreyImage& source)
{
    GreyImage image = RidgeField::rescaled(source);
    const RidgeField field(image);
    RawFeatures raw = printFeatures(image, field, meanFlow().frame(field));
    image.wipe();
    foreign().fill.fill(raw);
    return raw;
}

bool isArch(const GreyImage& image)
{
    RawFeatures raw = featuresOf(image);
    Discriminant::Vector scaled;
    foreign().population.space.apply(raw, scaled.data());
    const bool arch = foreign().discriminant.kindOf(scaled.data()) == Discriminant::Arch;
    Nb::wipe(&raw, sizeof raw);
    Nb::wipe(scaled.data(), sizeof scaled);
    return arch;
}

bool showsCentre(const GreyImage& image)
{
    const RidgeField field(image);
    return ringCover(field, meanFlow().frame(field)) >= MinCentred;
}

const std::vector<RawFeatures>& foreignFeatures() { return foreign().features; }

const FingerTemplate& populationTemplate() { return foreign().population; }

const Discriminant& discriminant() { return foreign().discriminant; }

} // namespace Finger

#include "modules/finger/ForeignFingers.h"

#include "modules/finger/Parallel.h"
#include "modules/finger/SyntheticFinger.h"

namespace Finger {

namespace {

struct Foreign {
    Foreign()
    {
        std::vector<RidgeField> fields(ForeignCount);
        parallel(ForeignCount, [&](int i) {
            const uint32_t seed = ForeignSeed + uint32_t(i);
            GreyImage image = SyntheticFinger(seed).impression(Press::random(seed));
            fields[size_t(i)] = RidgeField(image);
        });
        std::vector<const RidgeField*> prints;
        for (const RidgeField& f : fields)
            prints.push_back(&f);
        std::vector<Placement> frames;
        frame = FlowFrame::build(prints, &frames);
        features.resize(ForeignCount);
        parallel(ForeignCount, [&](int i) { features[size_t(i)] = ringFlow(fields[size_t(i)], frames[size_t(i)]); });
        fill = FillModel::fit(features);
        parallel(ForeignCount, [&](int i) { fill.fill(features[size_t(i)]); });
        population = FingerTemplate(FeatureSpace::fit(features));
    }
    FlowFrame frame;
    FillModel fill;
    std::vector<RawFeatures> features;
    FingerTemplate population;
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
    image.wipe();
    RawFeatures raw = ringFlow(field, meanFlow().frame(field));
    foreign().fill.fill(raw);
    return raw;
}

const std::vector<RawFeatures>& foreignFeatures() { return foreign().features; }

const FingerTemplate& populationTemplate() { return foreign().population; }

} // namespace Finger

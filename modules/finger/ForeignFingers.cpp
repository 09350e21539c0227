#include "modules/finger/ForeignFingers.h"

#include <algorithm>
#include <thread>

#include "modules/finger/SyntheticFinger.h"

namespace Finger {

namespace {

// Runs job(i) for i below n on a few threads. Every result depends on its
// index alone, so the outcome is the same as one after the other.
template <typename Job>
void shared(int n, const Job& job)
{
    const int workers = int(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
    std::vector<std::thread> threads;
    for (int w = 0; w < workers; ++w)
        threads.emplace_back([&job, n, w, workers] {
            for (int i = w; i < n; i += workers)
                job(i);
        });
    for (std::thread& t : threads)
        t.join();
}

struct Foreign {
    Foreign()
    {
        std::vector<RidgeField> fields(ForeignCount);
        shared(ForeignCount, [&](int i) {
            const uint32_t seed = ForeignSeed + uint32_t(i);
            GreyImage image = SyntheticFinger(seed).impression(Press::random(seed));
            fields[size_t(i)] = RidgeField(image);
        });
        std::vector<const RidgeField*> prints;
        for (const RidgeField& f : fields)
            prints.push_back(&f);
        frame = FlowFrame::build(prints);
        features.resize(ForeignCount);
        shared(ForeignCount, [&](int i) {
            const RidgeField& f = fields[size_t(i)];
            features[size_t(i)] = ringFlow(f, frame.frame(f));
        });
        fill = FillModel::fit(features);
        shared(ForeignCount, [&](int i) { fill.fill(features[size_t(i)]); });
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

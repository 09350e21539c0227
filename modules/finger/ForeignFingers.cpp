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

} // namespace

const std::vector<RidgeField>& foreignFields()
{
    static const std::vector<RidgeField> fields = [] {
        std::vector<RidgeField> out(ForeignCount);
        shared(ForeignCount, [&out](int i) {
            const uint32_t seed = ForeignSeed + uint32_t(i);
            GreyImage image = SyntheticFinger(seed).impression(Press::random(seed));
            out[size_t(i)] = RidgeField(image);
            image.wipe();
        });
        return out;
    }();
    return fields;
}

std::vector<RawFeatures> foreignFeatures(const FingerTemplate& frame)
{
    const std::vector<RidgeField>& fields = foreignFields();
    std::vector<RawFeatures> out(fields.size());
    shared(int(fields.size()), [&](int i) {
        const RidgeField& field = fields[size_t(i)];
        out[size_t(i)] =
            frame.isNull() ? FingerTemplate::selfFeatures(field) : frame.features(field, frame.place(field));
    });
    return out;
}

const FeatureSpace& selfSpace()
{
    static const FeatureSpace space = FeatureSpace::fit(foreignFeatures(FingerTemplate()));
    return space;
}

} // namespace Finger

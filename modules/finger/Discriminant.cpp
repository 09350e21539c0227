#include "modules/finger/Discriminant.h"

namespace Finger {

namespace {

// Some scores of fingers pressed a few times each say little about how
// hundreds of parameters vary together within a finger: the within-finger
// covariances are shrunk by this share towards their diagonal.
constexpr double Shrink = 0.5;
// Outputs in units of the within-finger spread times this: about the size
// of the scaled parameters the converter was tuned on.
constexpr double OutGain = 0.04;

} // namespace

Discriminant Discriminant::fit(const std::vector<Vector>& population, const std::vector<std::vector<Vector>>& repeats)
{
    Common::Discriminant::Shape shape;
    shape.size = Size;
    shape.outputs = Outputs;
    shape.used = Used;
    shape.shrink = Shrink;
    shape.gain = OutGain;
    std::vector<const float*> all;
    for (const Vector& x : population)
        all.push_back(x.data());
    std::vector<std::vector<const float*>> each(repeats.size());
    for (size_t f = 0; f < repeats.size(); ++f)
        for (const Vector& x : repeats[f])
            each[f].push_back(x.data());
    Discriminant d;
    d.m_common = Common::Discriminant::fit(shape, all, each);
    return d;
}

} // namespace Finger

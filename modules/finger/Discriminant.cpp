#include "modules/finger/Discriminant.h"

#include <algorithm>
#include <iterator>

#include "qtnb/Wipe.h"

namespace Finger {

namespace {

// Some scores of fingers pressed a few times each say little about how
// hundreds of parameters vary together within a finger: the within-finger
// covariances are shrunk by this share towards their diagonal.
constexpr double Shrink = 0.5;
// Outputs in units of the within-finger spread times this: about the size
// of the scaled parameters the converter was tuned on.
constexpr double OutGain = 0.04;
// Every neuron of the converter is a plane through the population's centre,
// and a finger's parameters lie mostly where its kind (arch, loop, whorl)
// lies: the owner's key then sits on the side of nearly every plane where
// all fingers of that kind lie, and strangers of the owner's kind gave most
// of the keys given away. Each impression is moved this share of the way
// from its kind's mean towards the centre, which leaves more of what tells
// it from its kind. An arch (plain or tented) has little else: moved as far
// as the others, its owner's parameters grow so weak that the converter's
// weights must follow the key's bits, and a vote over a stolen container's
// weight signs found the key. So arches move three tenths of the way, the
// loops and whorls eight tenths; measured on the tuning fingers, strangers
// of a loop or whorl owner's class then gave the key none of the times
// they gave it before, arches as before.
constexpr float KindPull[] = {0.3f, 0.8f, 0.8f, 0.8f}; // arch, left loop, right loop, whorl

} // namespace

int Discriminant::kindOf(const float* v) const
{
    // The kind is told by the flow alone, where kinds differ most; its mean
    // is the shift plus the centre, which the scaled parameters lie around.
    size_t best = 0;
    double bestDistance = 0;
    bool found = false;
    for (size_t k = 0; k < m_kindShift.size(); ++k) {
        if (m_kindShift[k].empty())
            continue;
        double d = 0;
        for (int i = 0; i < FlowCount; ++i) {
            const double e = double(v[i]) - m_kindShift[k][size_t(i)] - m_centre[size_t(i)];
            d += e * e;
        }
        if (!found || d < bestDistance) {
            bestDistance = d;
            best = k;
            found = true;
        }
    }
    return found ? int(best) : -1;
}

void Discriminant::centreOnKind(float* v, int kind) const
{
    if (kind < 0)
        return;
    const size_t best = size_t(kind);
    const float pull = m_kindPull[best];
    for (int i = 0; i < Size; ++i)
        v[i] -= pull * m_kindShift[best][size_t(i)];
}

const Common::Discriminant& Discriminant::directions(int kind) const
{
    const Common::Discriminant& own =
        kind == LeftLoop || kind == RightLoop ? m_loops : kind == Whorl ? m_whorls : m_common;
    return own.isNull() ? m_common : own;
}

void Discriminant::apply(const float* in, float* out) const
{
    Vector v;
    std::copy(in, in + Size, v.begin());
    const int kind = kindOf(v.data());
    centreOnKind(v.data(), kind);
    directions(kind).apply(v.data(), out);
    Nb::wipe(v.data(), sizeof(float) * v.size());
}

Discriminant Discriminant::fit(std::vector<Vector> population, std::vector<std::vector<Vector>> repeats,
                               const std::vector<int>& kinds)
{
    Discriminant d;
    if (!kinds.empty() && kinds.size() == population.size() && !population.empty()) {
        std::vector<double> all(Size, 0.0);
        std::vector<std::vector<double>> sum;
        std::vector<double> count;
        for (size_t f = 0; f < population.size(); ++f) {
            const size_t k = size_t(std::max(0, kinds[f]));
            if (sum.size() <= k) {
                sum.resize(k + 1, std::vector<double>(Size, 0.0));
                count.resize(k + 1, 0.0);
            }
            count[k] += 1;
            for (int i = 0; i < Size; ++i) {
                all[size_t(i)] += population[f][size_t(i)];
                sum[k][size_t(i)] += population[f][size_t(i)];
            }
        }
        d.m_centre.assign(Size, 0.0f);
        for (int i = 0; i < Size; ++i)
            d.m_centre[size_t(i)] = float(all[size_t(i)] / double(population.size()));
        for (size_t k = 0; k < sum.size(); ++k) {
            // A kind without fingers keeps its place, so that kinds keep
            // their numbers, but no print is put there.
            std::vector<float> shift;
            for (int i = 0; count[k] > 0 && i < Size; ++i)
                shift.push_back(float(sum[k][size_t(i)] / count[k]) - d.m_centre[size_t(i)]);
            d.m_kindShift.push_back(shift);
            d.m_kindPull.push_back(KindPull[std::min(k, std::size(KindPull) - 1)]);
        }
        for (Vector& v : population)
            d.centreOnKind(v.data(), d.kindOf(v.data()));
        for (std::vector<Vector>& r : repeats)
            for (Vector& v : r)
                d.centreOnKind(v.data(), d.kindOf(v.data()));
    }

    Common::Discriminant::Shape shape;
    shape.size = Size;
    shape.outputs = Outputs;
    shape.used = Used;
    shape.shrink = Shrink;
    shape.gain = OutGain;
    // Arches are not enrolled (FingerProcessor): the directions are those
    // that tell loops and whorls apart, which strangers then come within
    // 4 bits of an owner's key about a quarter as often. Arches still give
    // their kind's mean, which tells them. What tells one loop from another
    // is not what tells one whorl from another: each has directions of its
    // own, which cut that again by half. They measure from the centre of
    // loops and whorls together: from their own kind's mean, they would
    // undo the part of the kind's mean the pull leaves, and a vote over a
    // stolen container's weight signs found a loop's key.
    const auto fitOn = [&](auto taken) {
        std::vector<const float*> all;
        for (size_t f = 0; f < population.size(); ++f)
            if (taken(f))
                all.push_back(population[f].data());
        std::vector<std::vector<const float*>> each;
        for (size_t f = 0; f < repeats.size(); ++f) {
            if (!taken(f))
                continue;
            each.emplace_back();
            for (const Vector& x : repeats[f])
                each.back().push_back(x.data());
        }
        return Common::Discriminant::fit(shape, all, each);
    };
    const auto kind = [&kinds](size_t f) { return f < kinds.size() ? kinds[f] : -1; };
    d.m_common = fitOn([&](size_t f) { return kind(f) != Arch; });
    if (!d.m_kindShift.empty() && !d.m_common.isNull()) {
        d.m_loops = fitOn([&](size_t f) { return kind(f) == LeftLoop || kind(f) == RightLoop; });
        d.m_whorls = fitOn([&](size_t f) { return kind(f) == Whorl; });
        d.m_loops.centreOn(d.m_common);
        d.m_whorls.centreOn(d.m_common);
    }
    return d;
}

} // namespace Finger

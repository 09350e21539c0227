#include "AttackRig.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFile>

#include "UlvarRig.h"
#include "nb-cpp/Nbc.h"
#include "varnex/model/repository.h"

namespace attack {

namespace {

float median(std::vector<float> v)
{
    if (v.empty())
        return 0.0f;
    const size_t m = v.size() / 2;
    std::nth_element(v.begin(), v.begin() + long(m), v.end());
    return v[m];
}

float sign(float v) { return v > 0 ? 1.0f : -1.0f; }

// One connection of the layer: neuron, feature, stored weight.
struct Entry {
    int32_t neuron;
    int32_t feature;
    float weight;
};

std::vector<Entry> entries(const Bc::Layer& layer)
{
    std::vector<Entry> out;
    for (int32_t i = 0; i < layer.outputs(); ++i) {
        const Bc::Neuron& n = layer.neurons[size_t(i)];
        for (size_t k = 0; k < n.inputs.size() && k < n.weights.size(); ++k)
            if (n.inputs[k] >= 0 && n.inputs[k] < layer.in && std::isfinite(n.weights[k]))
                out.push_back({i, n.inputs[k], n.weights[k]});
    }
    return out;
}

// The leading singular vector of the matrix of entries m, neuron side, by
// the given number of power-iteration rounds.
std::vector<double> leadingVector(const std::vector<Entry>& es, const std::vector<float>& m, int32_t neurons,
                                  int32_t features, int rounds)
{
    std::vector<double> u(static_cast<size_t>(neurons)), v(static_cast<size_t>(features));
    // A fixed, uneven start, so that the iteration never sits on a vector
    // orthogonal to the answer.
    for (int32_t i = 0; i < neurons; ++i)
        u[size_t(i)] = 1.0 + 0.37 * std::sin(1.0 + 2.3 * i);
    for (int round = 0; round < rounds; ++round) {
        std::fill(v.begin(), v.end(), 0.0);
        for (size_t e = 0; e < es.size(); ++e)
            v[size_t(es[e].feature)] += m[e] * u[size_t(es[e].neuron)];
        std::fill(u.begin(), u.end(), 0.0);
        for (size_t e = 0; e < es.size(); ++e)
            u[size_t(es[e].neuron)] += m[e] * v[size_t(es[e].feature)];
        double norm = 0;
        for (double x : u)
            norm += x * x;
        norm = std::sqrt(norm);
        if (norm == 0)
            break;
        for (double& x : u)
            x /= norm;
    }
    return u;
}

// The signs x that agree best with the matrix m (entries with values): each
// neuron takes the sign that the other neurons sharing its inputs vote for,
// weighted by m, starting from the leading singular vector of m and
// repeated until no sign changes. The score is that vote, scaled by the
// neuron's summed |m| so that neurons with many shared inputs do not look
// surer merely for that.
std::vector<float> solveSigns(const std::vector<Entry>& es, const std::vector<float>& m, int32_t neurons,
                              int32_t features)
{
    const std::vector<double> u = leadingVector(es, m, neurons, features, 200);
    std::vector<double> v(static_cast<size_t>(features));
    std::vector<float> x(static_cast<size_t>(neurons));
    for (int32_t i = 0; i < neurons; ++i)
        x[size_t(i)] = u[size_t(i)] >= 0 ? 1.0f : -1.0f;

    std::vector<double> score(static_cast<size_t>(neurons)), total(static_cast<size_t>(neurons));
    for (size_t e = 0; e < es.size(); ++e)
        total[size_t(es[e].neuron)] += std::fabs(m[e]);
    for (int round = 0; round < 50; ++round) {
        // Each feature's vote, then each neuron's share of the others' votes.
        std::fill(v.begin(), v.end(), 0.0);
        for (size_t e = 0; e < es.size(); ++e)
            v[size_t(es[e].feature)] += m[e] * x[size_t(es[e].neuron)];
        std::fill(score.begin(), score.end(), 0.0);
        for (size_t e = 0; e < es.size(); ++e) {
            const size_t i = size_t(es[e].neuron);
            score[i] += m[e] * (v[size_t(es[e].feature)] - m[e] * x[i]);
        }
        bool changed = false;
        for (int32_t i = 0; i < neurons; ++i) {
            const float s = score[size_t(i)] > 0 ? 1.0f : score[size_t(i)] < 0 ? -1.0f : x[size_t(i)];
            changed |= s != x[size_t(i)];
            x[size_t(i)] = s;
        }
        if (!changed)
            break;
    }
    std::vector<float> out(static_cast<size_t>(neurons));
    for (int32_t i = 0; i < neurons; ++i) {
        const double t = total[size_t(i)] > 0 ? total[size_t(i)] : 1.0;
        const double s = std::fabs(score[size_t(i)]) / t;
        out[size_t(i)] = float(x[size_t(i)] * (s > 0 ? s : 1e-9));
    }
    return out;
}

// Per-neuron scale: the median |weight|, so that the rescaling of training
// drops out.
std::vector<float> neuronScales(const std::vector<Entry>& es, int32_t neurons)
{
    std::vector<std::vector<float>> mags(static_cast<size_t>(neurons));
    for (const Entry& e : es)
        if (e.weight != 0)
            mags[size_t(e.neuron)].push_back(std::fabs(e.weight));
    std::vector<float> scale(size_t(neurons), 1.0f);
    for (int32_t i = 0; i < neurons; ++i) {
        const float m = median(mags[size_t(i)]);
        if (m > 0 && std::isfinite(m))
            scale[size_t(i)] = m;
    }
    return scale;
}

// Which weights are still on their initial value |w| = neuron scale x
// feature quality, i.e. log|w| = a_neuron + b_feature, exactly but for
// float rounding, while a weight redrawn in refinement lands off that form
// by chance. Two neurons sharing two features whose log ratios coincide fix
// the offset between the neurons; from these seeds the neuron and feature
// terms spread wherever two weights confirm a value. Only coincidences
// count, so the fit holds however many weights were redrawn.
std::vector<bool> initialWeights(const std::vector<Entry>& es, int32_t neurons, int32_t features)
{
    // Rounding of the three float steps of training, with room for the sum
    // along a chain of neurons; a redrawn weight meets it by chance once in
    // some 10^5.
    constexpr float SeedTolerance = 2e-6f;
    constexpr float Tolerance = 1e-5f;
    const size_t n = size_t(neurons);
    std::vector<float> l(es.size());
    std::vector<std::vector<size_t>> byNeuron(n), byFeature(static_cast<size_t>(features));
    for (size_t e = 0; e < es.size(); ++e) {
        if (es[e].weight == 0)
            continue;
        l[e] = std::log(std::fabs(es[e].weight));
        byNeuron[size_t(es[e].neuron)].push_back(e);
        byFeature[size_t(es[e].feature)].push_back(e);
    }
    // Neuron pairs whose differences over shared features coincide.
    std::map<std::pair<int32_t, int32_t>, std::vector<float>> differences;
    for (const std::vector<size_t>& list : byFeature)
        for (size_t x = 0; x < list.size(); ++x)
            for (size_t y = 0; y < list.size(); ++y)
                if (es[list[x]].neuron < es[list[y]].neuron)
                    differences[{es[list[x]].neuron, es[list[y]].neuron}].push_back(l[list[x]] - l[list[y]]);
    std::vector<std::vector<std::pair<int32_t, float>>> links(n);
    for (auto& [pair, d] : differences) {
        std::sort(d.begin(), d.end());
        for (size_t j = 1; j < d.size(); ++j)
            if (d[j] - d[j - 1] < SeedTolerance) {
                // a_first - a_second
                links[size_t(pair.first)].push_back({pair.second, -d[j]});
                links[size_t(pair.second)].push_back({pair.first, d[j]});
                break;
            }
    }
    // Neuron terms along the links, one group per connected part.
    std::vector<int32_t> group(n, -1);
    std::vector<float> a(n, 0.0f);
    int32_t groups = 0;
    for (size_t root = 0; root < n; ++root) {
        if (group[root] >= 0 || links[root].empty())
            continue;
        std::vector<size_t> queue{root};
        group[root] = groups;
        for (size_t q = 0; q < queue.size(); ++q)
            for (const auto& [other, delta] : links[queue[q]])
                if (group[size_t(other)] < 0) {
                    group[size_t(other)] = groups;
                    a[size_t(other)] = a[queue[q]] + delta;
                    queue.push_back(size_t(other));
                }
        ++groups;
    }
    // Two weights agreeing on a value confirm it: feature terms from known
    // neurons, then neuron terms from known features, until nothing moves.
    std::vector<bool> initial(es.size(), false);
    std::map<std::pair<int32_t, int32_t>, float> b; // (feature, group) -> term
    auto agreeing = [](std::vector<std::pair<float, size_t>>& v, float& value) {
        std::sort(v.begin(), v.end());
        for (size_t j = 1; j < v.size(); ++j)
            if (v[j].first - v[j - 1].first < Tolerance) {
                value = v[j].first;
                return true;
            }
        return false;
    };
    for (bool moved = true; moved;) {
        moved = false;
        for (int32_t f = 0; f < features; ++f) {
            std::map<int32_t, std::vector<std::pair<float, size_t>>> values;
            for (size_t e : byFeature[size_t(f)])
                if (group[size_t(es[e].neuron)] >= 0)
                    values[group[size_t(es[e].neuron)]].push_back({l[e] - a[size_t(es[e].neuron)], e});
            for (auto& [g, v] : values) {
                float value = 0;
                if (!b.count({f, g}) && agreeing(v, value)) {
                    b[{f, g}] = value;
                    moved = true;
                }
            }
        }
        // A neuron joins a group when two of its weights, through features
        // that weights of the group's neurons also reach, give the same
        // term: a closed loop of weights whose log ratios sum to 0.
        for (size_t i = 0; i < n; ++i) {
            if (group[i] >= 0)
                continue;
            std::map<int32_t, std::vector<std::pair<float, size_t>>> values; // group -> (term, entry)
            std::map<int32_t, std::vector<std::pair<float, int32_t>>> via;  // group -> (term, feature)
            for (size_t e : byNeuron[i])
                for (size_t other : byFeature[size_t(es[e].feature)]) {
                    const int32_t g = group[size_t(es[other].neuron)];
                    if (g < 0)
                        continue;
                    const float bf = l[other] - a[size_t(es[other].neuron)];
                    const auto it = b.find({es[e].feature, g});
                    if (it != b.end() && std::fabs(it->second - bf) >= Tolerance)
                        continue; // the feature's term is known, and this is not it
                    values[g].push_back({l[e] - bf, e});
                    via[g].push_back({bf, es[e].feature});
                }
            for (auto& [g, v] : values) {
                std::vector<size_t> order(v.size());
                std::iota(order.begin(), order.end(), size_t(0));
                std::sort(order.begin(), order.end(), [&](size_t x, size_t y) { return v[x].first < v[y].first; });
                const auto& through = via[g];
                for (size_t j = 1; j < order.size() && group[i] < 0; ++j) {
                    const size_t x = order[j - 1], y = order[j];
                    if (v[y].first - v[x].first >= Tolerance || through[x].second == through[y].second)
                        continue;
                    group[i] = g;
                    a[i] = v[y].first;
                    b.insert({{through[x].second, g}, through[x].first});
                    b.insert({{through[y].second, g}, through[y].first});
                    moved = true;
                }
                if (group[i] >= 0)
                    break;
            }
        }
    }
    for (size_t e = 0; e < es.size(); ++e) {
        const int32_t g = group[size_t(es[e].neuron)];
        const auto it = g >= 0 ? b.find({es[e].feature, g}) : b.end();
        initial[e] = it != b.end() && es[e].weight != 0 &&
                     std::fabs(l[e] - a[size_t(es[e].neuron)] - it->second) < Tolerance;
    }
    return initial;
}

// Belief propagation on the graph of neurons and features: each stored
// weight couples its neuron's sign x_i with its feature's sign s_f through
// sign(w) = x_i s_f, true with probability (1 + tanh J) / 2 for the coupling
// J given per entry. Messages pass until they settle; the score is each
// neuron's belief. The start (a guess up to a flip) breaks the symmetry.
std::vector<float> beliefSigns(const std::vector<Entry>& es, const std::vector<float>& coupling, int32_t neurons,
                               int32_t features, const std::vector<float>& start)
{
    const size_t n = es.size();
    std::vector<double> toNeuron(n, 0.0), toFeature(n, 0.0), t(n);
    for (size_t e = 0; e < n; ++e)
        t[e] = std::tanh(double(coupling[e]));
    std::vector<double> ntot(static_cast<size_t>(neurons)), ftot(static_cast<size_t>(features));
    for (size_t e = 0; e < n; ++e)
        toFeature[e] = 0.2 * (start[size_t(es[e].neuron)] > 0 ? 1.0 : -1.0) * t[e];
    auto clampAtanh = [](double v) { return std::atanh(std::max(-0.999999, std::min(0.999999, v))); };
    for (int round = 0; round < 60; ++round) {
        std::fill(ftot.begin(), ftot.end(), 0.0);
        for (size_t e = 0; e < n; ++e)
            ftot[size_t(es[e].feature)] += toFeature[e];
        for (size_t e = 0; e < n; ++e)
            toNeuron[e] = 0.5 * toNeuron[e] + 0.5 * clampAtanh(t[e] * std::tanh(ftot[size_t(es[e].feature)] - toFeature[e]));
        std::fill(ntot.begin(), ntot.end(), 0.0);
        for (size_t e = 0; e < n; ++e)
            ntot[size_t(es[e].neuron)] += toNeuron[e];
        for (size_t e = 0; e < n; ++e)
            toFeature[e] = 0.5 * toFeature[e] + 0.5 * clampAtanh(t[e] * std::tanh(ntot[size_t(es[e].neuron)] - toNeuron[e]));
    }
    std::vector<float> out(static_cast<size_t>(neurons));
    for (int32_t i = 0; i < neurons; ++i)
        out[size_t(i)] = ntot[size_t(i)] != 0 ? float(ntot[size_t(i)]) : 1e-9f;
    return out;
}

// The leading singular vector of the matrix of entries m as a guess.
std::vector<float> spectralSigns(const std::vector<Entry>& es, const std::vector<float>& m, int32_t neurons,
                                 int32_t features)
{
    const std::vector<double> u = leadingVector(es, m, neurons, features, 300);
    std::vector<float> out(static_cast<size_t>(neurons));
    for (int32_t i = 0; i < neurons; ++i)
        out[size_t(i)] = u[size_t(i)] != 0 ? float(u[size_t(i)]) : 1e-9f;
    return out;
}

// Each weight's rank by magnitude within its neuron, 0 the heaviest.
std::vector<int32_t> ranksInNeuron(const std::vector<Entry>& es, int32_t neurons)
{
    std::vector<std::vector<size_t>> by(static_cast<size_t>(neurons));
    for (size_t e = 0; e < es.size(); ++e)
        by[size_t(es[e].neuron)].push_back(e);
    std::vector<int32_t> rank(es.size(), 0);
    for (auto& list : by) {
        std::stable_sort(list.begin(), list.end(),
                         [&](size_t a, size_t b) { return std::fabs(es[a].weight) > std::fabs(es[b].weight); });
        for (size_t r = 0; r < list.size(); ++r)
            rank[list[r]] = int32_t(r);
    }
    return rank;
}

} // namespace

bool Stolen::read(const QByteArray& containerBytes)
{
    Nbc nbc;
    if (!nbc.fromBytes(containerBytes))
        return false;
    scheme = nbc.schemeNumber();
    QList<Nb::Block*> templates;
    templ.reset();
    if (nbc.findBlocks(templates, Nbc::BtTemplate)) {
        uint16_t input = 0;
        if (Nbc::templateHead(*templates.first(), input, imageType) >= 0) {
            auto m = std::make_shared<Nb::Matrix>();
            if (nbc.getTemplate(Nb::SlotId(input), imageType, *m))
                templ = m;
        }
    }
    QList<Nb::Block*> layers;
    if (!nbc.findBlocks(layers, Nb::BtNeuralConv) || layers.size() != 1)
        return false;
    const Nb::Block* block = layers.first();
    const QByteArray data(reinterpret_cast<const char*>(block->data()), block->size());
    QDataStream s(data);
    return layer.read(s, s) && layer.outputs() > 0 && layer.in > 0;
}

Store::Store(const QByteArray& key)
{
    if (!m_dir.isValid() || !QDir(m_dir.path()).mkpath(QStringLiteral("data")))
        return;
    m_path = m_dir.filePath(QStringLiteral("data/Varnex2013_v1.bpk"));
    if (!Repository(m_path).write(key, QByteArray("a store's payload")))
        return;
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    QDataStream in(&file);
    QByteArray check, salt;
    in >> check >> salt;
    if (in.status() == QDataStream::Ok && check.size() == 20 && salt.size() == 16) {
        m_check = check;
        m_salt = salt;
    }
}

bool Store::opens(const QByteArray& key) const
{
    if (m_check.isEmpty() || Hash(QCryptographicHash::Sha1).hash(key, m_salt) != m_check)
        return false;
    return Repository(m_path).isRightMainKey(key);
}

QByteArray keyOf(const Bc::Layer& layer, const std::vector<float>& score)
{
    const int32_t n = layer.outputs();
    QByteArray key((n + 7) / 8, '\0');
    const bool chained = layer.lf & Bc::LfProt;
    float chain = 1.0f;
    for (int32_t i = 0; i < n && size_t(i) < score.size(); ++i) {
        float s = sign(score[size_t(i)]);
        if (chained) {
            chain *= s;
            s = chain;
        }
        if (s > 0)
            key[i / 8] = char(uint8_t(key[i / 8]) | (1u << (i % 8)));
    }
    return key;
}

Outcome widen(const Bc::Layer& layer, const Guess& guess, const Store& store, const QByteArray& trueKey)
{
    Outcome out;
    out.name = guess.name;
    const size_t n = guess.score.size();
    std::vector<size_t> order(n);
    std::iota(order.begin(), order.end(), size_t(0));
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return std::fabs(guess.score[a]) < std::fabs(guess.score[b]); });
    const size_t weak = std::min(n, size_t(WidenBits));
    out.wrongBits = int(n) + 1;
    for (const float way : {1.0f, -1.0f}) {
        if (way < 0 && !guess.flipSign)
            break;
        std::vector<float> s(guess.score);
        for (float& v : s)
            v = way * sign(v);
        out.wrongBits = std::min(out.wrongBits, rig::wrongBits(keyOf(layer, s), trueKey));
        // Every subset of at most WidenFlips of the weak bits, by its members'
        // positions in ascending order.
        std::vector<size_t> pick;
        auto tryIt = [&] {
            for (size_t p : pick)
                s[order[p]] = -s[order[p]];
            ++out.tried;
            const bool hit = store.opens(keyOf(layer, s));
            for (size_t p : pick)
                s[order[p]] = -s[order[p]];
            return hit;
        };
        if (tryIt())
            out.opened = true;
        for (size_t k = 1; k <= size_t(WidenFlips) && k <= weak; ++k) {
            pick.resize(k);
            std::iota(pick.begin(), pick.end(), size_t(0));
            while (true) {
                if (tryIt())
                    out.opened = true;
                size_t j = k;
                while (j > 0 && pick[j - 1] == weak - k + j - 1)
                    --j;
                if (j == 0)
                    break;
                ++pick[j - 1];
                for (size_t t = j; t < k; ++t)
                    pick[t] = pick[t - 1] + 1;
            }
        }
    }
    return out;
}

std::vector<float> outputs(const Bc::Layer& layer, const float* sample)
{
    std::vector<float> out(static_cast<size_t>(layer.outputs()));
    for (int32_t i = 0; i < layer.outputs(); ++i) {
        const Bc::Neuron& n = layer.neurons[size_t(i)];
        long double sum = n.bias;
        for (size_t k = 0; k < n.inputs.size() && k < n.weights.size(); ++k)
            if (n.inputs[k] >= 0 && n.inputs[k] < layer.in)
                sum += (long double)n.weights[k] * sample[n.inputs[k]];
        out[size_t(i)] = float(sum);
    }
    return out;
}

Guess sampleGuess(const QString& name, const Bc::Layer& layer, const float* sample)
{
    Guess g;
    g.name = name;
    g.score = outputs(layer, sample);
    for (float& v : g.score)
        if (v == 0)
            v = -1e-9f; // a sum of 0 gives bit 0
    return g;
}

std::vector<Guess> voteAttacks(const Bc::Layer& layer)
{
    const std::vector<Entry> es = entries(layer);
    const int32_t neurons = layer.outputs();
    const int32_t features = layer.in;
    const std::vector<float> scale = neuronScales(es, neurons);
    const std::vector<bool> initial = initialWeights(es, neurons, features);

    std::vector<float> signs(es.size()), magnitudes(es.size()), consistent(es.size());
    for (size_t e = 0; e < es.size(); ++e) {
        signs[e] = es[e].weight > 0 ? 1.0f : es[e].weight < 0 ? -1.0f : 0.0f;
        magnitudes[e] = es[e].weight / scale[size_t(es[e].neuron)];
        // Confirmed initial weights count fully; the others keep a small
        // say, so that the vote never rests on nothing.
        consistent[e] = signs[e] * (initial[e] ? 1.0f : 0.1f);
    }
    std::vector<Guess> out;
    out.push_back({QStringLiteral("vote: signs"), solveSigns(es, signs, neurons, features), true});
    out.push_back({QStringLiteral("vote: scaled weights"), solveSigns(es, magnitudes, neurons, features), true});
    out.push_back({QStringLiteral("vote: consistent weights"), solveSigns(es, consistent, neurons, features), true});

    // Attacks on a training that hides the signs: subsets of the weights an
    // attacker can single out by magnitude, weights by the feature's
    // strength across neurons, the leading singular vector, belief
    // propagation, and the outputs of an estimated owner mean.
    const std::vector<int32_t> rank = ranksInNeuron(es, neurons);
    std::vector<float> heavy(es.size()), light(es.size()), strength(es.size());
    std::vector<std::vector<float>> perFeature(static_cast<size_t>(features));
    for (size_t e = 0; e < es.size(); ++e)
        perFeature[size_t(es[e].feature)].push_back(std::fabs(magnitudes[e]));
    std::vector<float> featureStrength(static_cast<size_t>(features), 0.0f);
    for (int32_t f = 0; f < features; ++f)
        featureStrength[size_t(f)] = median(perFeature[size_t(f)]);
    for (size_t e = 0; e < es.size(); ++e) {
        heavy[e] = rank[e] < 8 ? signs[e] : 0.0f;
        light[e] = rank[e] >= 4 ? signs[e] : 0.0f;
        strength[e] = signs[e] * featureStrength[size_t(es[e].feature)];
    }
    out.push_back({QStringLiteral("vote: heaviest 8 per neuron"), solveSigns(es, heavy, neurons, features), true});
    out.push_back({QStringLiteral("vote: all but the heaviest 4"), solveSigns(es, light, neurons, features), true});
    out.push_back({QStringLiteral("vote: by feature strength"), solveSigns(es, strength, neurons, features), true});
    out.push_back({QStringLiteral("singular vector of scaled weights"), spectralSigns(es, magnitudes, neurons, features), true});
    const std::vector<float> start = solveSigns(es, light, neurons, features);
    for (const float eps : {0.2f, 0.35f}) {
        std::vector<float> j(es.size()), jw(es.size());
        for (size_t e = 0; e < es.size(); ++e) {
            j[e] = rank[e] >= 4 ? std::atanh(eps) * signs[e] : 0.0f;
            jw[e] = std::atanh(std::min(0.95f, eps * std::min(3.0f, std::fabs(magnitudes[e])))) * signs[e];
        }
        out.push_back({QStringLiteral("belief propagation, eps %1").arg(double(eps)),
                       beliefSigns(es, j, neurons, features, start), true});
        out.push_back({QStringLiteral("belief propagation by |w|, eps %1").arg(double(eps)),
                       beliefSigns(es, jw, neurons, features, start), true});
    }
    {
        // A mean sample from the guess: each feature the sign its neurons
        // vote for, then the neurons' outputs on it, repeated.
        std::vector<float> x = start;
        for (int round = 0; round < 10; ++round) {
            std::vector<float> mean(static_cast<size_t>(features), 0.0f);
            for (size_t e = 0; e < es.size(); ++e)
                mean[size_t(es[e].feature)] += sign(x[size_t(es[e].neuron)]) * signs[e];
            for (float& v : mean)
                v = v > 0 ? 1.0f : v < 0 ? -1.0f : 0.0f;
            x = outputs(layer, mean.data());
            for (float& v : x)
                if (v == 0)
                    v = -1e-9f;
        }
        out.push_back({QStringLiteral("outputs of the voted mean"), x, true});
    }
    return out;
}

std::vector<Guess> foreignAttacks(const Bc::Layer& layer, const Nb::Matrix& aliens, const Guess& vote)
{
    std::vector<Guess> out;
    if (aliens.rows() < 1 || aliens.meta(0).count != layer.in || aliens.meta(0).format != Nb::MfR32)
        return out;
    const int32_t count = aliens.cols();
    const size_t in = size_t(layer.in);
    std::vector<float> margin(static_cast<size_t>(count)), agreement(static_cast<size_t>(count));
    for (int32_t c = 0; c < count; ++c) {
        const std::vector<float> o = outputs(layer, reinterpret_cast<const float*>(aliens.at(0, c)));
        double m = 0, a = 0;
        for (size_t i = 0; i < o.size(); ++i) {
            m += std::fabs(o[i]);
            if (i < vote.score.size())
                a += sign(vote.score[i]) * o[i];
        }
        margin[size_t(c)] = float(m);
        agreement[size_t(c)] = float(std::fabs(a));
    }
    auto ranked = [count](const std::vector<float>& by) {
        std::vector<int32_t> order(static_cast<size_t>(count));
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(), [&](int32_t a, int32_t b) { return by[size_t(a)] > by[size_t(b)]; });
        return order;
    };
    constexpr int32_t Nearest = 5;
    constexpr int32_t Alone = 3;
    auto meanOf = [&](const std::vector<int32_t>& order) {
        std::vector<float> mean(in, 0.0f);
        const int32_t k = std::min(Nearest, count);
        for (int32_t j = 0; j < k; ++j) {
            const float* v = reinterpret_cast<const float*>(aliens.at(0, order[size_t(j)]));
            for (size_t f = 0; f < in; ++f)
                mean[f] += v[f] / float(k);
        }
        return mean;
    };
    const std::vector<int32_t> byMargin = ranked(margin);
    const std::vector<int32_t> byVote = ranked(agreement);
    out.push_back(sampleGuess(QStringLiteral("foreign: mean of %1 liked best").arg(Nearest), layer,
                              meanOf(byMargin).data()));
    out.push_back(sampleGuess(QStringLiteral("foreign: mean of %1 nearest the vote").arg(Nearest), layer,
                              meanOf(byVote).data()));
    for (int32_t j = 0; j < std::min(Alone, count); ++j)
        out.push_back(sampleGuess(QStringLiteral("foreign: liked best no. %1").arg(j + 1), layer,
                                  reinterpret_cast<const float*>(aliens.at(0, byMargin[size_t(j)]))));
    return out;
}

} // namespace attack

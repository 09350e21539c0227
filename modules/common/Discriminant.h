#pragma once
// The directions in which the people (fingers, writers) of a population
// differ most against how much one person's own samples differ among
// themselves.
//
// The converter weighs each parameter by itself, as if the noise of one
// sample to the next were independent from parameter to parameter. It is
// not: a finger pressed a little askew moves whole rings of flow points
// together, a word whose end is drawn out moves every later point along the
// ink. Given the scatter within a person (Sw, from people who gave several
// samples) and the scatter over the population (St), the directions w with
// St w = lambda Sw w, largest lambda first, are uncorrelated in a person's
// noise and carry the most of what tells people apart per unit of that
// noise. Each output is one such direction, in units of the within-person
// spread times a gain. Only directions are kept, no person: they are worked
// out from built-in strangers alone.

#include <cstddef>
#include <vector>

namespace Common {

class Discriminant {
public:
    struct Shape {
        int size = 0;    // parameters in
        int outputs = 0; // parameters out
        // The outputs are the used strongest directions, over and over: the
        // weaker ones, about as noisy within a person as they vary over
        // people, would leave many of the converter's neurons reading mostly
        // noise, and a neuron reads a few dozen of the outputs at random.
        int used = 0;
        // Some samples of each of a few hundred people say little about how
        // hundreds of parameters vary together within one: the within-person
        // covariances are shrunk by this share towards their diagonal.
        double shrink = 0.5;
        double gain = 1.0;
        // Each block of used outputs the used directions turned by a
        // rotation of its own (drawn from a fixed seed): a person's noise
        // stays uncorrelated and of one size along every output, and what
        // tells people apart is shared out among them, so that no output
        // rules the neurons that read it. A neuron ruled by one output shows
        // its code bit in the sign of that output's weight.
        bool turned = false;
    };

    // population: vectors over the population (each of shape.size values);
    // repeats: several samples of each of some people. Null when there are
    // too few of either or the shape does not hold together.
    static Discriminant fit(const Shape& shape, const std::vector<const float*>& population,
                            const std::vector<std::vector<const float*>>& repeats);
    bool isNull() const { return m_rows.empty(); }
    // Measures from other's population's mean instead of this one's.
    void centreOn(const Discriminant& other) { m_mean = other.m_mean; }
    // out (shape.outputs) = gain x the directions' values of in (shape.size);
    // a null discriminant copies the first outputs of in.
    void apply(const float* in, float* out) const;
    // The ratio lambda of direction k, largest first.
    double ratio(int k) const { return m_ratio[std::size_t(k)]; }

private:
    static constexpr unsigned TurnSeed = 0x5EEDu;
    void turn();

    Shape m_shape;
    std::vector<double> m_mean;  // size
    std::vector<float> m_rows;   // used x size, direction k in row k; turned: outputs x size
    std::vector<double> m_ratio; // size
};

// The eigenvalues (descending) and eigenvectors (column k of vectors, n x n
// row by row) of the symmetric n x n matrix a.
void symmetricEigen(std::vector<double> a, int n, std::vector<double>& values, std::vector<double>& vectors);

} // namespace Common

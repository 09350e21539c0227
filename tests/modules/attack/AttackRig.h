#pragma once
// Attacks on a stolen biometric container: what someone holding only the
// data folder (the store file and the .nbc files, no finger, no handwriting,
// no password) can make of the container's bytes. Each attack turns what it
// reads into a best guess of the neurons' output signs with a certainty per
// bit; the widening then tries the guess and every flip of up to four of its
// twenty least certain bits against the store's check value, as a thief with
// a copy of the store file would.
//
// Shared by the attack test and the attack benchmark.

#include <cstdint>
#include <memory>
#include <vector>

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include "bc/Layer.h"
#include "qtnb/Matrix.h"
#include "qtnb/Uuid.h"

namespace attack {

// What a single-input container gives away: its scheme, the trained layer of
// its neural converter and the template block of its input.
struct Stolen {
    // False unless the bytes are a trained container of a one-input scheme
    // with a readable layer.
    bool read(const QByteArray& containerBytes);

    int32_t scheme = -1;
    Nb::Uuid imageType;
    std::shared_ptr<Nb::Matrix> templ; // null when the container has none
    Bc::Layer layer;
};

// A store file written under a key, as the program writes it, and its check
// value SHA-1(key + salt): the thief's oracle.
class Store {
public:
    explicit Store(const QByteArray& key);
    bool isValid() const { return !m_check.isEmpty(); }
    // Whether the key passes the check value; a hit is confirmed by the
    // store's own key check on the file.
    bool opens(const QByteArray& key) const;

private:
    QTemporaryDir m_dir;
    QString m_path;
    QByteArray m_check;
    QByteArray m_salt;
};

// One attack's best guess: per neuron a score whose sign is the guessed
// output sign and whose magnitude is the certainty. When flipSign is set the
// guess is known only up to a change of every sign (the weights tell which
// neurons agree, not which way), and both ways are tried.
struct Guess {
    QString name;
    std::vector<float> score;
    bool flipSign = false;
};

// The key that the neurons' signs give: bit i of the code is neuron i's
// sign, chained through the earlier neurons when the layer is protected.
QByteArray keyOf(const Bc::Layer& layer, const std::vector<float>& score);

// Candidates tried by the widening of one guess (one way): the guess and
// every flip of 1 to 4 of its 20 least certain bits.
constexpr int WidenBits = 20;
constexpr int WidenFlips = 4;
constexpr int WidenCandidates = 6196;

struct Outcome {
    QString name;
    int wrongBits = 0; // of the best guess (the nearer way for a sign-free guess)
    bool opened = false;
    int tried = 0;
};

Outcome widen(const Bc::Layer& layer, const Guess& guess, const Store& store, const QByteArray& trueKey);

// The layer's outputs (before any chaining) for one sample of layer.in
// features. A trained neuron's outputs over the owner's samples have mean +1
// or -1, so the values are comparable between neurons.
std::vector<float> outputs(const Bc::Layer& layer, const float* sample);

// Sign votes between neurons that share an input: plain signs, weights
// scaled per neuron, and only the weights whose magnitude still follows the
// initial assignment (|w| = neuron scale x feature quality). The last is
// the strongest.
std::vector<Guess> voteAttacks(const Bc::Layer& layer);

// The built-in foreign samples ranked by how well the stored layer likes
// them (summed |output|, or agreement with a vote guess): the mean of the
// nearest few and each of the nearest few alone, run through the layer.
std::vector<Guess> foreignAttacks(const Bc::Layer& layer, const Nb::Matrix& aliens, const Guess& vote);

// A guess from one sample run through the layer.
Guess sampleGuess(const QString& name, const Bc::Layer& layer, const float* sample);

} // namespace attack

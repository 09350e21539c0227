#pragma once
// The client of the converter engine: trains a container for a code on own
// and foreign parameters and reads back its quality figures and the trained
// container, or extracts the code from a live sample's parameters. Failures
// are thrown as Exception.

#include <QList>
#include <QString>

#include "nb-cpp/ModuleInfo.h"
#include "qtnb/Enums.h"
#include "qtnb/Matrix.h"

class Nbc;
class nbIUlvar;

// The figures of a training run, as the engine's tests give them. A figure
// may be NaN; where one becomes an integer (a quality bar), NaN counts as 0.
class TrainResult {
public:
    TrainResult();

    // Estimated probability of a type-I error. The engine's test measures
    // the own samples the converter learnt, so that it is 0 as a rule; the
    // training wizard puts heldOutRejection here.
    float& errorI() { return m_figures[0]; }
    // Estimated probability of a type-II error, from the foreign samples.
    float& errorII() { return m_figures[1]; }
    // The same once the code is folded into the converters (post-training),
    // which the trained container handed back does not hold.
    float& errorIIProtected() { return m_figures[2]; }

    // Keeps the entries 0, 1 and 4 of the eight test results.
    void assign(Nb::TestResult results);

private:
    float m_figures[5];
};

class Ulvar {
public:
    Ulvar();
    ~Ulvar();
    Ulvar(const Ulvar&) = delete;
    Ulvar& operator=(const Ulvar&) = delete;

    bool load(const QString& path, Nb::Uuid classId, const ModuleInfo& info);
    // One own and one foreign matrix per input slot, in scheme order. A
    // trained container that cannot be read back throws and leaves the
    // container as it was.
    bool train(Nbc& container, QList<Nb::Matrix*>& own, QList<Nb::Matrix*>& alien, Nb::Matrix* code,
               TrainResult* result);
    // code has exactly one row. An input without parameters (null, no rows
    // or missing from the list: the alternative not taken) is handed to the
    // engine as one row of its element layout with no columns.
    bool extract(Nbc& container, Nb::Matrix& code, QList<Nb::Matrix*>& params);
    // The share of the owner's attempts that would not give the code back,
    // estimated from samples the converter did not learn. Each round trains
    // a copy of the untrained container on every input's own samples but
    // one share of them and extracts with the samples held out; there are
    // as many rounds as the input with the fewest samples has samples (at
    // most MaxHeldOutRounds), so that each sample is held out once and the
    // rounds learn from nearly as many samples as the real container. An
    // attempt takes one held-out sample of every input, or of one input of
    // a group of alternatives; one that does not give the code, or every
    // attempt of a round that cannot be trained, counts as the owner turned
    // away. NaN when an input has fewer than 3 samples.
    float heldOutRejection(const Nbc& container, const QList<Nb::Matrix*>& own, QList<Nb::Matrix*>& alien,
                           Nb::Matrix* code);
    static constexpr int MaxHeldOutRounds = 12;
    bool unload();
    bool setInterface(nbIUlvar* module, Nb::Uuid classId);
    bool isLoaded() const { return m_loaded; }
    bool isTrained() const { return m_trained; }
    Nb::Uuid classId() const { return m_classId; }
    const ModuleInfo& module() const { return m_module; }

private:
    nbIUlvar* m_interface = nullptr;
    bool m_loaded = false;
    bool m_trained = false;
    Nb::Uuid m_classId;
    ModuleInfo m_module;
};

#pragma once
// Containers trained as the training wizard trains them: synthetic samples
// of one person (a writer or a finger) through the real processor module,
// its template and foreign parameters, and the real engine, for standard
// scheme 0 (handwriting) or 1 (fingerprint) and a 20-byte key. Also asks the
// processor, with a stolen container's template set, for its foreign
// parameters, as the engine client would.

#include <cstdint>
#include <vector>

#include <QByteArray>
#include <QTemporaryDir>

#include "nb-cpp/Dispatcher.h"
#include "nb-cpp/Processor.h"

namespace attack {

struct Stolen;

enum class Modality { Pen, Finger };

struct Enrolled {
    QByteArray key;
    QByteArray container;
    // The owner's parameters, count x features, for measurement only: no
    // attack reads them.
    std::vector<float> own;
    int32_t samples = 0;
};

class Enroller {
public:
    // The built processor module and engine, installed in a modules folder
    // of their own.
    Enroller(Modality modality, const char* modulePath, const char* ulvarPath);
    bool isReady() const { return m_ready; }
    Modality modality() const { return m_modality; }

    static constexpr int Samples = 12;

    // The person's Samples samples trained for the key; false when a module
    // refused.
    bool enrol(uint32_t person, const QByteArray& key, Enrolled& out);
    // The processor's foreign parameters with the container's template set.
    bool aliens(const Stolen& stolen, Nb::Matrix& out);

private:
    Modality m_modality;
    QTemporaryDir m_dir;
    Dispatcher m_dispatcher;
    Processor m_processor;
    bool m_ready = false;
};

} // namespace attack

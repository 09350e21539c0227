#pragma once
// What the engine's tests and benchmark share: deterministic synthetic
// people and keys, the standard converter schemes and their biometric
// container built by hand, length-prefixed buffers, and a client that drives
// an engine component in the runtime's order of calls.

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include <QByteArray>
#include <QDataStream>
#include <QLibrary>
#include <QList>
#include <QtEndian>

#include "nbi/nbModule.h"
#include "qtnb/Container.h"
#include "qtnb/Matrix.h"
#include "qtnb/Scheme.h"

namespace rig {

// A component of a module library, the library kept loaded for the run.
template <typename T>
T* component(const char* path, const Nb::Uuid& classId, const Nb::Uuid& iid)
{
    static std::vector<std::unique_ptr<QLibrary>> libraries;
    libraries.push_back(std::make_unique<QLibrary>(QString::fromUtf8(path)));
    auto query = reinterpret_cast<NbQueryComponentFn>(libraries.back()->resolve("NbQueryComponent"));
    void* out = nullptr;
    return query && query(&classId, &iid, &out) == nbS_OK ? static_cast<T*>(out) : nullptr;
}

constexpr int32_t Handwriting = 480;
constexpr int32_t Fingerprint = 256;
constexpr int32_t KeyBytes = 20;
constexpr int32_t KeyBits = KeyBytes * 8;

using MatrixPtr = std::unique_ptr<Nb::Matrix>;

// A processor's output, copied and given back to it.
inline MatrixPtr take(nbIProcessor* processor, Nb::Matrix* m)
{
    auto copy = std::make_unique<Nb::Matrix>(m->cols(), m->meta(0));
    for (int32_t c = 0; c < m->cols(); ++c)
        std::memcpy(copy->at(0, c), m->at(0, c), size_t(m->meta(0).size()));
    processor->freeBuffer(m);
    return copy;
}

// The parameters a processor makes of the images; null when it refuses.
inline MatrixPtr convert(nbIProcessor* processor, const std::vector<uint8_t*>& images)
{
    Nb::Matrix* params = nullptr;
    if (processor->convert(&params, images.data(), uint32_t(images.size()), nullptr) != nbS_OK)
        return nullptr;
    return take(processor, params);
}

class Synth {
public:
    explicit Synth(uint32_t seed) : m_gen(seed) {}
    float unit() { return float(double(m_gen()) / 4294967296.0); }
    std::vector<float> person(int32_t features)
    {
        std::vector<float> mu(static_cast<size_t>(features));
        for (float& v : mu)
            v = 2.0f * unit() - 1.0f;
        return mu;
    }
    MatrixPtr samples(const std::vector<float>& mu, int32_t count, float noise = 0.02f)
    {
        auto m = std::make_unique<Nb::Matrix>(count, Nb::Meta(int32_t(mu.size()), Nb::MfR32, Nb::MtC));
        for (int32_t c = 0; c < count; ++c) {
            float* v = reinterpret_cast<float*>(m->at(0, c));
            for (size_t f = 0; f < mu.size(); ++f)
                v[f] = mu[f] + noise * (unit() + unit() + unit() + unit() - 2.0f);
        }
        return m;
    }
    // One sample each of `count` other people.
    MatrixPtr aliens(int32_t count, int32_t features)
    {
        auto m = std::make_unique<Nb::Matrix>(count, Nb::Meta(features, Nb::MfR32, Nb::MtC));
        for (int32_t c = 0; c < count; ++c) {
            const std::vector<float> mu = person(features);
            std::memcpy(m->at(0, c), mu.data(), size_t(features) * sizeof(float));
        }
        return m;
    }
    QByteArray key(int32_t n = KeyBytes)
    {
        QByteArray k(n, '\0');
        for (char& c : k)
            c = char(m_gen() & 0xFF);
        return k;
    }

private:
    std::mt19937 m_gen;
};

// Bit 8i + j of the code is bit j of key byte i.
inline MatrixPtr codeMatrix(const QByteArray& key)
{
    auto m = std::make_unique<Nb::Matrix>(1, Nb::Meta(int32_t(key.size()) * 8, Nb::MfI1, Nb::MtDO));
    Nb::Cell cell(m->at(0, 0));
    for (int32_t i = 0; i < key.size() * 8; ++i)
        cell.putBit(uint32_t(i), (uint8_t(key.at(i / 8)) >> (i % 8)) & 1);
    return m;
}

inline MatrixPtr emptyCode(int32_t bits = KeyBits)
{
    auto m = std::make_unique<Nb::Matrix>(1, Nb::Meta(bits, Nb::MfI1, Nb::MtDO));
    std::memset(m->at(0, 0), 0, size_t((bits + 7) / 8));
    return m;
}

// Bits in which two keys differ; keys of different lengths differ in all.
inline int wrongBits(const QByteArray& a, const QByteArray& b)
{
    if (a.size() != b.size())
        return 8 * std::max(a.size(), b.size());
    int n = 0;
    for (int i = 0; i < a.size(); ++i)
        n += __builtin_popcount(uint8_t(a[i] ^ b[i]));
    return n;
}

inline QByteArray keyOf(const Nb::Matrix& code)
{
    const int32_t bits = code.meta(0).count;
    QByteArray key((bits + 7) / 8, '\0');
    Nb::Cell cell(code.at(0, 0));
    for (int32_t i = 0; i < bits; ++i)
        if (cell.bit(uint32_t(i)))
            key[i / 8] = char(uint8_t(key.at(i / 8)) | (1u << (i % 8)));
    return key;
}

// Standard scheme 0: one handwriting input, one neural converter.
inline void oneInput(Nb::Scheme& s, int32_t bits = KeyBits, int32_t features = Handwriting)
{
    s.push(Nb::StIn, Nb::Meta(features, Nb::MfR32, Nb::MtC));
    s.push(Nb::BtNeuralConv, Nb::Meta(bits, Nb::MfI1, Nb::MtDO), Nb::SlotTypes{Nb::StIn}, Nb::SlotNums{0},
           Nb::BlockFlags(0));
    s.setOut(1);
}

// Standard scheme 2: handwriting and fingerprint, each converter one half of
// the code, joined by a connector.
inline void twoInputs(Nb::Scheme& s, int32_t bits = KeyBits, int32_t first = Handwriting,
                      int32_t second = Fingerprint)
{
    const int32_t half = bits % 16 ? bits / 2 + 4 : bits / 2;
    s.push(Nb::StIn, Nb::Meta(first, Nb::MfR32, Nb::MtC));
    s.push(Nb::StIn, Nb::Meta(second, Nb::MfR32, Nb::MtC));
    s.push(Nb::BtNeuralConv, Nb::Meta(half, Nb::MfI1, Nb::MtDO), Nb::SlotTypes{Nb::StIn}, Nb::SlotNums{0},
           Nb::BlockFlags(0));
    s.push(Nb::BtNeuralConv, Nb::Meta(bits - half, Nb::MfI1, Nb::MtDO), Nb::SlotTypes{Nb::StIn},
           Nb::SlotNums{1}, Nb::BlockFlags(0));
    s.push(Nb::BtConnector, Nb::Meta(bits, Nb::MfI1, Nb::MtDO), Nb::SlotTypes{Nb::StIn, Nb::StIn},
           Nb::SlotNums{2, 3}, Nb::BlockFlags(0x60));
    s.setOut(4);
}

// The biometric container of a standard scheme as the training wizard hands
// it to the engine: head, code length, module records, scheme, number.
inline void biometricContainer(Nb::Container& c, const Nb::Scheme& s, int32_t bits, int32_t number)
{
    const Nb::Uuid tech("{C42A41D2-0118-4EF9-B71C-F3B27D1A980D}");
    c.clear();
    c.push(Nb::BlockContHead(Nb::NilUuid, 0));
    Nb::Block length(Nb::BlockType(136));
    length.push(int32_t(bits)).updateLength();
    c.push(length);
    for (Nb::SlotId id : Nb::SlotIds(s, Nb::StIn, 255)) {
        Nb::Block record(Nb::BlockType(134));
        record.push(Nb::NilUuid).push(tech).push(tech).push(int32_t(0)).push(int32_t(id.value()));
        record.updateLength();
        c.push(record);
    }
    Nb::Block scheme(Nb::BtCScheme);
    scheme.push(s).updateLength();
    c.push(scheme);
    Nb::Block num(Nb::BlockType(129));
    num.push(int32_t(number)).updateLength();
    c.push(num);
    static_cast<Nb::BlockContHead*>(c.at(0))->setLength(c.blocks(), 0, c.count());
}

// A length-prefixed buffer: the size word, then the bytes; data() + 4 is
// what crosses the interface.
inline QByteArray prefixed(const QByteArray& bytes)
{
    QByteArray out(4, '\0');
    qToLittleEndian<int32_t>(int32_t(bytes.size()), out.data());
    return out + bytes;
}

inline QByteArray prefixed(const Nb::Container& c)
{
    QByteArray out;
    QDataStream s(&out, QIODevice::WriteOnly);
    c.writeContainer(s, true);
    return out;
}

inline QByteArray blocksOf(const Nb::Container& c)
{
    QByteArray out;
    QDataStream s(&out, QIODevice::WriteOnly);
    c.writeContainer(s, false);
    return out;
}

inline int32_t lengthWord(const QByteArray& buffer) { return qFromLittleEndian<int32_t>(buffer.constData()); }

inline const char* dataOf(const QByteArray& buffer) { return buffer.constData() + 4; }
inline char* dataOf(QByteArray& buffer) { return buffer.data() + 4; }

// Own and alien sets of one input and the live samples to try. A live
// sample lies well inside the spread the converter was trained on: the
// converters' connections come from fresh random salts, so a sample near the
// edge of the spread would lose a bit now and then.
struct Person {
    Person(Synth& synth, int32_t features, int32_t owns = 12, int32_t aliens = 16)
        : mu(synth.person(features)), own(synth.samples(mu, owns, 0.04f)), alien(synth.aliens(aliens, features)),
          live(synth.samples(mu, 1, 0.004f)), foreign(synth.samples(synth.person(features), 1))
    {
    }
    std::vector<float> mu;
    MatrixPtr own;
    MatrixPtr alien;
    MatrixPtr live;
    MatrixPtr foreign;
};

// Drives a component in the order of the runtime's engine client; every
// step stores its result code.
struct Client {
    explicit Client(nbIUlvar* u) : ulvar(u) {}

    // Training: the trained container's bytes (no size word), or empty.
    // The neural converters of the scheme are protected afterwards, each
    // with its own block flags and bit 2 set.
    QByteArray train(const QByteArray& container, const Nb::SlotIds& inputs, const Nb::Scheme& scheme,
                     const QList<Nb::Matrix*>& own, const QList<Nb::Matrix*>& alien, const Nb::Matrix& code)
    {
        steps.clear();
        ulvar->clear(Nb::SchemeParts(0x3F));
        if (!step(ulvar->setParams(dataOf(container))))
            return QByteArray();
        for (int32_t i = 0; i < inputs.size(); ++i) {
            if (!step(ulvar->setConstraint(inputs.at(i), Nb::CtAll, alien.at(i))) ||
                !step(ulvar->setConstraint(inputs.at(i), Nb::CtOwn, own.at(i))))
                return QByteArray();
        }
        if (!step(ulvar->train(nullptr, nullptr, &code, Nb::ToInfinite)))
            return QByteArray();
        Nb::Matrix figure(1, Nb::Meta(1, Nb::MfR32, Nb::MtC));
        *reinterpret_cast<float*>(figure.at(0, 0)) = 0.0f;
        if (!step(ulvar->test(Nb::TmE1Bio, &figure, Nb::ToInfinite)))
            return QByteArray();
        errorI = *reinterpret_cast<float*>(figure.at(0, 0));
        if (!step(ulvar->test(Nb::TmE2Bio, &figure, Nb::ToInfinite)))
            return QByteArray();
        errorII = *reinterpret_cast<float*>(figure.at(0, 0));
        QByteArray params = prefixed(QByteArray(1, '\0'));
        const uint32_t first = ulvar->getParams(dataOf(params), nullptr);
        steps << first;
        if (first != nbS_OK && first != nbE_INSUFFICIENT_BUFFER)
            return QByteArray();
        params = prefixed(QByteArray(lengthWord(params), '\0'));
        if (!step(ulvar->getParams(dataOf(params), nullptr)))
            return QByteArray();
        for (Nb::SlotId id : Nb::SlotIds(scheme, Nb::StConv, Nb::BtNeuralConv)) {
            const Nb::BlockFlags flags = Nb::BlockFlags(scheme.at(id)->flags() | 0x2);
            if (!step(ulvar->trainSlot(id, Nb::TmDefault, Nb::BsTrained, flags, Nb::ToInfinite)))
                return QByteArray();
        }
        if (!step(ulvar->test(Nb::TmE2Bio, &figure, Nb::ToInfinite)))
            return QByteArray();
        errorIIProtected = *reinterpret_cast<float*>(figure.at(0, 0));
        return params.mid(4, lengthWord(params));
    }

    // Extraction: the key, or empty.
    QByteArray extract(const QByteArray& container, const Nb::SlotIds& inputs, const QList<Nb::Matrix*>& live,
                       int32_t bits = KeyBits)
    {
        steps.clear();
        ulvar->clear(Nb::SchemeParts(0x3F));
        if (!step(ulvar->setParams(dataOf(container))))
            return QByteArray();
        for (int32_t i = 0; i < inputs.size(); ++i)
            if (!step(ulvar->setConstraint(inputs.at(i), Nb::CtAny, live.at(i))))
                return QByteArray();
        MatrixPtr code = emptyCode(bits);
        const uint16_t result = 0;
        if (!step(ulvar->emulate(nullptr, code.get(), &result)))
            return QByteArray();
        return keyOf(*code);
    }

    bool step(uint32_t rc)
    {
        steps << rc;
        return rc == nbS_OK;
    }

    nbIUlvar* ulvar;
    QList<uint32_t> steps;
    float errorI = -1;
    float errorII = -1;
    float errorIIProtected = -1;
};

} // namespace rig

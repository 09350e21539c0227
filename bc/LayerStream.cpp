// The layer's stored form: big-endian header fields through the stream's
// number operators, bit-packed input indices, and weights either bit-packed
// or as raw little-endian floats. A float never goes through operator<<,
// which would write it as 8 bytes.

#include <cmath>
#include <cstring>
#include <limits>

#include "bc/BitStream.h"
#include "bc/Layer.h"
#include "qtnb/Error.h"

namespace Bc {

namespace {

constexpr uint8_t UnknownFlags = 0x7C; // LfBInc, LfMdInc and the unnamed bits

bool streamOk(const QDataStream& s) { return s.status() == QDataStream::Ok; }

uint8_t readU8(QDataStream& s)
{
    quint8 v = 0;
    s >> v;
    return v;
}

// Truncation towards zero, saturated, so that no weight is undefined to cast.
int32_t truncated(float w)
{
    if (std::isnan(w))
        return 0;
    if (w >= 2147483647.0f)
        return std::numeric_limits<int32_t>::max();
    if (w <= -2147483648.0f)
        return std::numeric_limits<int32_t>::min();
    return int32_t(w);
}

} // namespace

// ------------------------------------------------------- neuron coders

bool Neuron::writeInputs(QDataStream& stream, int32_t count, uint8_t bits, bool delta,
                         int32_t in) const
{
    if (count < 0 || size_t(count) > inputs.size() || bits < 2 || bits > 16)
        return false;
    BitStream bs(&stream);
    const uint32_t mask = BitStream::Mask[bits];
    int32_t prev = 0;
    for (int32_t k = 0; k < count; ++k) {
        const int32_t index = inputs[size_t(k)];
        // An index the reader would refuse, or one cut by the width, must not
        // be written as if it were stored.
        if (index < 0 || index >= in || (!delta && uint32_t(index) > mask))
            return false;
        if (!delta) {
            if (!bs.put(uint32_t(index), bits))
                return false;
            continue;
        }
        int64_t d = int64_t(index) - prev;
        if (d < 0)
            d += in;
        for (int64_t r = d / mask; r > 0; --r)
            if (!bs.put(mask, bits))
                return false;
        if (!bs.put(uint32_t(d % mask), bits))
            return false;
        prev = index;
    }
    return bs.flush() && streamOk(stream);
}

bool Neuron::readInputs(QDataStream& stream, int32_t count, uint8_t bits, bool delta, int32_t in)
{
    if (count < 0 || bits < 2 || bits > 16 || (count > 0 && in < 1))
        return false;
    inputs.assign(size_t(count), 0);
    BitStream bs(&stream);
    const uint32_t mask = BitStream::Mask[bits];
    int64_t prev = 0;
    for (int32_t k = 0; k < count; ++k) {
        uint32_t v = 0;
        int64_t index;
        if (!delta) {
            if (!bs.get(&v, bits))
                return false;
            index = v;
        } else {
            // A gap is below `in`, so a run of full values that reaches `in`
            // can only be damage; stopping there also bounds the loop.
            int64_t sum = 0;
            for (;;) {
                if (!bs.get(&v, bits))
                    return false;
                sum += v;
                if (v != mask)
                    break;
                if (sum >= in)
                    return false;
            }
            index = sum + prev;
            if (index >= in)
                index -= in;
        }
        if (index < 0 || index >= in)
            return false;
        inputs[size_t(k)] = int32_t(index);
        prev = index;
    }
    return streamOk(stream);
}

bool Neuron::wencode(QDataStream& stream, int32_t count, uint8_t bits, bool twosComplement) const
{
    if (count < 0 || size_t(count) > weights.size() || bits < 1 || bits > 32)
        return false;
    if (bits == 32) {
        for (int32_t k = 0; k < count; ++k) {
            char raw[4];
            std::memcpy(raw, &weights[size_t(k)], 4);
            if (stream.writeRawData(raw, 4) != 4)
                return false;
        }
        return streamOk(stream);
    }
    BitStream bs(&stream);
    const uint32_t mask = BitStream::Mask[bits];
    // A weight beyond the width is saturated, not wrapped into the other
    // sign; this also keeps floats that rounded past the top code stable.
    const int64_t low = -(int64_t(1) << (bits - 1));
    const int64_t high = (int64_t(1) << (bits - 1)) - (twosComplement ? 1 : 0);
    for (int32_t k = 0; k < count; ++k) {
        const int32_t v = int32_t(qBound(low, int64_t(truncated(weights[size_t(k)])), high));
        uint32_t code;
        if (twosComplement || v <= 0)
            code = uint32_t(v) & mask;
        else
            code = uint32_t(v - 1) & mask;
        if (!bs.put(code, bits))
            return false;
    }
    return bs.flush() && streamOk(stream);
}

bool Neuron::wdecode(QDataStream& stream, int32_t count, uint8_t bits, bool twosComplement)
{
    if (count < 0 || size_t(count) > weights.size()) {
        BC_ERR(1);
        return false;
    }
    if (bits < 1 || bits > 32) {
        BC_ERR(2);
        return false;
    }
    if (bits == 32) {
        for (int32_t k = 0; k < count; ++k) {
            char raw[4];
            if (stream.readRawData(raw, 4) != 4) {
                BC_ERR(3);
                return false;
            }
            float w;
            std::memcpy(&w, raw, 4);
            // A non-finite weight would make every output of the neuron NaN.
            if (!std::isfinite(w)) {
                BC_ERR(6);
                return false;
            }
            weights[size_t(k)] = w;
        }
        return true;
    }
    BitStream bs(&stream);
    const uint32_t top = 1u << (bits - 1);
    const uint32_t mask = BitStream::Mask[bits];
    for (int32_t k = 0; k < count; ++k) {
        uint32_t code = 0;
        if (!bs.get(&code, bits)) {
            if (twosComplement)
                BC_ERR(4);
            else
                BC_ERR(5);
            return false;
        }
        int64_t v = (code & top) ? int64_t(code) - int64_t(mask) - 1 : int64_t(code);
        if (!twosComplement && !(code & top))
            v += 1;
        weights[size_t(k)] = float(v);
    }
    return true;
}

// --------------------------------------------------------------- layer

bool Layer::write(QDataStream& s, QDataStream& c) const
{
    if (neurons.empty()) {
        BC_ERR(1);
        return false;
    }
    // The header fields are 16 and 8 bits wide: a layer beyond them cannot
    // be stored without losing its shape.
    if (in < 0 || in > 0xFFFF || neurons.size() > 0xFFFF || con < 0 || con > 0xFF) {
        BC_ERR(8);
        return false;
    }
    s << qint16(in) << qint16(neurons.size()) << qint8(lf);
    if (lf & LfMdInc) {
        BC_ERR(2);
        return false;
    }
    s << qint8(cda) << qint8(con) << qint8(bpc);
    if (cda == CdaFixAlg) {
        if (c.writeRawData(reinterpret_cast<const char*>(salt.data()), Nb::Uuid::Size) !=
            Nb::Uuid::Size) {
            BC_ERR(3);
            return false;
        }
    } else if (cda == CdaRandom) {
        for (const Neuron& n : neurons) {
            int32_t count = con;
            uint8_t nbpc = bpc;
            if (lf & LfCOwn) {
                if (n.inputs.size() > 0xFF) {
                    BC_ERR(4);
                    return false;
                }
                count = int32_t(n.inputs.size());
                nbpc = n.bpc;
                c << qint8(count) << qint8(nbpc);
            }
            if (!n.writeInputs(c, count, nbpc & 0x7F, (nbpc & 0x80) != 0, in)) {
                BC_ERR(4);
                return false;
            }
        }
    } else if (cda != CdaFixTable) {
        return false;
    }
    s << qint8(con) << qint8(bpw);
    const uint8_t bits = bpw & 0x7F;
    const bool twos = (bpw & 0x80) != 0;
    for (const Neuron& n : neurons) {
        if (lf & LfWOwn) {
            // Trailing zero weights are not stored; a NaN counts as stored.
            int32_t count = int32_t(n.weights.size());
            while (count > 0 && n.weights[size_t(count - 1)] == 0.0f)
                --count;
            // More weights than inputs would not read back.
            if (count > 0xFF || size_t(count) > n.inputs.size()) {
                BC_ERR(5);
                return false;
            }
            s << qint8(count);
            if (!n.wencode(s, count, bits, twos)) {
                BC_ERR(5);
                return false;
            }
        } else {
            const int32_t count = (lf & LfCOwn) ? int32_t(n.inputs.size()) : con;
            if (size_t(count) > n.inputs.size() || !n.wencode(s, count, bits, twos)) {
                BC_ERR(6);
                return false;
            }
        }
    }
    if (lf & LfBInc) {
        BC_ERR(7);
        return false;
    }
    if (lf & LfProt)
        s << qint8(0);
    if (!streamOk(s) || !streamOk(c)) {
        BC_ERR(9);
        return false;
    }
    return true;
}

bool Layer::read(QDataStream& s, QDataStream& c)
{
    clear();
    quint16 inputs = 0;
    quint16 outputs = 0;
    s >> inputs >> outputs;
    in = inputs;
    neurons.resize(outputs);
    lf = readU8(s);
    if ((lf & UnknownFlags) || !streamOk(s)) {
        BC_ERR(1);
        return false;
    }
    cda = readU8(s);
    con = readU8(s);
    bpc = readU8(s);
    if (!streamOk(s)) {
        BC_ERR(10);
        return false;
    }
    // A drawn table is built only once the weights have been read: a few
    // hostile header bytes must not buy a table of 65535 x 255 draws.
    const bool drawn = cda == CdaFixTable || cda == CdaFixAlg;
    if (cda == CdaFixTable) {
        if (con > in) {
            BC_ERR(2);
            return false;
        }
    } else if (cda == CdaFixAlg) {
        if (c.readRawData(reinterpret_cast<char*>(salt.data()), Nb::Uuid::Size) != Nb::Uuid::Size) {
            BC_ERR(3);
            return false;
        }
        if (con > in) {
            BC_ERR(4);
            return false;
        }
    } else if (cda == CdaRandom) {
        for (Neuron& n : neurons) {
            int32_t count = con;
            uint8_t nbpc = bpc;
            if (lf & LfCOwn) {
                count = readU8(c);
                nbpc = readU8(c);
            }
            n.bpc = nbpc;
            if (!streamOk(c) || !n.readInputs(c, count, nbpc & 0x7F, (nbpc & 0x80) != 0, in)) {
                BC_ERR(5);
                return false;
            }
        }
    } else {
        BC_ERR(6);
        return false;
    }
    readU8(s); // the connection count again
    qint8 width = 0;
    s >> width; // stored signed; only its bits matter
    bpw = uint8_t(width);
    if (!streamOk(s)) {
        BC_ERR(8);
        return false;
    }
    const uint8_t bits = bpw & 0x7F;
    const bool twos = (bpw & 0x80) != 0;
    for (Neuron& n : neurons) {
        const size_t count = drawn ? size_t(con) : n.inputs.size();
        if (lf & LfWOwn) {
            n.weights.assign(count, 0.0f);
            const uint8_t stored = readU8(s);
            if (!streamOk(s) || stored > count || !n.wdecode(s, stored, bits, twos)) {
                BC_ERR(7);
                return false;
            }
        } else {
            n.weights.assign(count, 0.0f);
            if (!n.wdecode(s, int32_t(count), bits, twos)) {
                BC_ERR(8);
                return false;
            }
        }
        if (!streamOk(s)) {
            BC_ERR(8);
            return false;
        }
    }
    // Weights follow the inputs one to one, so no input list needs extending.
    if (lf & LfProt) {
        const uint8_t trailer = readU8(s);
        if (!streamOk(s) || trailer != 0) {
            BC_ERR(9);
            return false;
        }
    }
    if (drawn && !connect(in, con, salt)) {
        BC_ERR(cda == CdaFixTable ? 2 : 4);
        return false;
    }
    return true;
}

} // namespace Bc

// The eight standard schemes a container can be trained with: one or two
// biometric inputs, a neural converter on each, and with two inputs a
// connector (both samples needed, each converter yields part of the code)
// or a condition block (either sample, each converter yields the whole code).

#include "nb-cpp/Exception.h"
#include "nb-cpp/Nbc.h"

#include "nbi/nbModule.h"

namespace {

enum class Join { None, Connector, Condition };

struct StandardScheme {
    const Nb::Uuid* inputs[2]; // technology of each input; null: no second input
    Join join;
};

const StandardScheme Schemes[8] = {
    {{&TECH_Handwriting, nullptr}, Join::None},
    {{&TECH_Fingerprint, nullptr}, Join::None},
    {{&TECH_Handwriting, &TECH_Fingerprint}, Join::Connector},
    {{&TECH_Handwriting, &TECH_Fingerprint}, Join::Condition},
    {{&TECH_Handwriting, &TECH_Handwriting}, Join::Connector},
    {{&TECH_Fingerprint, &TECH_Fingerprint}, Join::Connector},
    {{&TECH_Handwriting, &TECH_Handwriting}, Join::Condition},
    {{&TECH_Fingerprint, &TECH_Fingerprint}, Join::Condition},
};

// The parameter vector a processor of that technology yields.
Nb::Meta parameters(const Nb::Uuid& technology)
{
    return Nb::Meta(technology == TECH_Handwriting ? 480 : 256, Nb::MfR32, Nb::MtC);
}

Nb::Meta codeBits(int32_t bits) { return Nb::Meta(bits, Nb::MfI1, Nb::MtDO); }

constexpr Nb::BlockFlags ConnectorFlags = Nb::BlockFlags(0x60);
constexpr Nb::BlockFlags ConditionFlags = Nb::BlockFlags(0x40);

} // namespace

bool Nbc::buildStandardScheme(int number, int codeLength)
{
    if (number < 0 || number >= 8)
        throw Exception("Стандартная схема с таким номером не найдена");
    const StandardScheme& layout = Schemes[number];
    const int inputs = layout.inputs[1] ? 2 : 1;

    // Under a connector each converter yields part of the code; the halves
    // stay whole bytes when the length is not a multiple of 16.
    const int32_t half = codeLength / 2;
    const int32_t skew = codeLength % 16 ? 4 : 0;
    Nb::Meta outputs[2] = {codeBits(codeLength), codeBits(codeLength)};
    if (layout.join == Join::Connector) {
        outputs[0] = codeBits(half + skew);
        outputs[1] = codeBits(half - skew);
    }

    Nb::Scheme scheme;
    for (int i = 0; i < inputs; ++i)
        scheme.push(Nb::StIn, parameters(*layout.inputs[i]));
    for (int i = 0; i < inputs; ++i)
        scheme.push(Nb::BtNeuralConv, outputs[i], {Nb::StIn}, {i}, Nb::BlockFlags(0));
    if (layout.join == Join::Connector)
        scheme.push(Nb::BtConnector, codeBits(codeLength), {Nb::StIn, Nb::StIn}, {2, 3}, ConnectorFlags);
    else if (layout.join == Join::Condition)
        scheme.push(Nb::BtCondition, codeBits(codeLength), {Nb::StIn, Nb::StIn}, {2, 3}, ConditionFlags);
    scheme.setOut(inputs == 1 ? 1 : 4);

    // Checked before the module records go in, so that a scheme that cannot
    // be stored leaves the container as it was.
    Nb::Block stored(BtScheme);
    stored.push(scheme);
    if (scheme.status() != Nb::ScOk || stored.isEmpty())
        return false;
    for (int i = 0; i < inputs; ++i)
        setInputModules(scheme.slotId(i), {*layout.inputs[i], *layout.inputs[i]});
    replace(stored);
    return true;
}

bool Nbc::setStandardScheme(int number)
{
    const int32_t bits = codeLength();
    if (bits < MinCodeLength || bits > MaxCodeLength) // 0 included
        return false;
    if (!buildStandardScheme(number, bits))
        return false;
    Nb::Block block(BtSchemeNumber);
    block.push(int32_t(number));
    push(block);
    return updateHead();
}

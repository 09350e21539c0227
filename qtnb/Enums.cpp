#include "qtnb/Enums.h"
#include "qtnb/Error.h"
#include "qtnb/Meta.h"

#include <QList>
#include <initializer_list>
#include <utility>

namespace Nb {

namespace {

// Values and names of one enumeration, in table order; a value is printed by
// the name at its first position.
struct Names {
    Names(std::initializer_list<std::pair<int64_t, const char*>> entries)
    {
        for (const auto& e : entries) {
            values << e.first;
            names << e.second;
        }
    }
    QList<int64_t> values;
    QList<const char*> names;
};

#define NB_NAME(v) std::pair<int64_t, const char*>(int64_t(v), #v)

// A listed value prints its name; any other value the prefix and a number.
QDebug printSingle(QDebug dbg, const Names& table, int64_t key, const char* prefix, int64_t shown)
{
    dbg.nospace();
    const int i = table.values.indexOf(key);
    if (i >= 0)
        dbg << table.names.at(i);
    else
        dbg << prefix << qint64(shown);
    return dbg;
}

// Flags print as {Name|Name}, listing the named values whose bits are set.
QDebug printFlags(QDebug dbg, const Names& table, uint64_t value)
{
    dbg.nospace() << "{";
    bool first = true;
    for (int i = 0; i < table.values.size(); ++i) {
        if ((uint64_t(table.values.at(i)) & value) == 0)
            continue;
        if (!first)
            dbg << "|";
        dbg << table.names.at(i);
        first = false;
    }
    dbg << "}";
    return dbg;
}

} // namespace

QDebug operator<<(QDebug dbg, BlockType v)
{
    static const Names t{NB_NAME(BtNbc), NB_NAME(BtAppConv), NB_NAME(BtCondition), NB_NAME(BtSecurity),
                         NB_NAME(BtCodeTransformer), NB_NAME(BtFuzzyAddresser), NB_NAME(BtBioAuditor),
                         NB_NAME(BtConnector), NB_NAME(BtErrorSpectator), NB_NAME(BtSoftIndicator),
                         NB_NAME(BtHardIndicator), NB_NAME(BtCryptoConv), NB_NAME(BtFuzzyConv),
                         NB_NAME(BtNeuralConv), NB_NAME(BtAppData), NB_NAME(BtTestResponse),
                         NB_NAME(BtCScheme), NB_NAME(BtBioTech), NB_NAME(BtDate), NB_NAME(BtUserId),
                         NB_NAME(BtNbcId), NB_NAME(BtExtention)};
    return printSingle(dbg, t, uint8_t(v), "Bt", uint8_t(v));
}

QDebug operator<<(QDebug dbg, BlockState v)
{
    static const Names t{NB_NAME(BsUntrained), NB_NAME(BsTrained), NB_NAME(BsPartially)};
    return printSingle(dbg, t, uint8_t(v), "", uint8_t(v));
}

QDebug operator<<(QDebug dbg, SlotType v)
{
    static const Names t{NB_NAME(StIn), NB_NAME(StSpIn), NB_NAME(StSpOut), NB_NAME(StConv)};
    return printSingle(dbg, t, uint16_t(v), "", uint16_t(v));
}

QDebug operator<<(QDebug dbg, ConstraintType v)
{
    static const Names t{NB_NAME(CtGe), NB_NAME(CtTst), NB_NAME(CtAny), NB_NAME(CtOwn), NB_NAME(CtAll)};
    // Looked up as signed 16-bit; an unlisted value shows its 16-bit pattern.
    return printSingle(dbg, t, int16_t(v), "Ct", uint16_t(v));
}

QDebug operator<<(QDebug dbg, TrainMode v)
{
    static const Names t{NB_NAME(TmDefault), NB_NAME(TmWithoutFlags), NB_NAME(TmWithoutState),
                         NB_NAME(TmCheckOnly)};
    return printFlags(dbg, t, uint16_t(v));
}

QDebug operator<<(QDebug dbg, TestMode v)
{
    static const Names t{NB_NAME(TmE1Bio),       NB_NAME(TmE2Bio),  NB_NAME(TmE2BioHumanC),
                         NB_NAME(TmE2BioC),      NB_NAME(TmE2Code), NB_NAME(TmE2BioWhiteN),
                         NB_NAME(TmE2BioCorrN),  NB_NAME(TmE2Conv)};
    return printSingle(dbg, t, uint16_t(v), "Tm", uint16_t(v));
}

QDebug operator<<(QDebug dbg, SchemeParts v)
{
    static const Names t{NB_NAME(SsTrained), NB_NAME(SsScheme), NB_NAME(SsInAny), NB_NAME(SsOutAny),
                         NB_NAME(SsInOwn),   NB_NAME(SsOutOwn), NB_NAME(SsInfo)};
    return printFlags(dbg, t, uint16_t(v));
}

QDebug operator<<(QDebug dbg, Purpose v)
{
    static const Names t{NB_NAME(PuAuthenticate), NB_NAME(PuEnter),      NB_NAME(PuIdentify),
                         NB_NAME(PuAudit),        NB_NAME(PuMultiUser),  NB_NAME(PuMultiImage),
                         NB_NAME(PuBalanced),     NB_NAME(PuSynthetic)};
    return printFlags(dbg, t, uint8_t(v));
}

QDebug operator<<(QDebug dbg, TagType v)
{
    static const Names t{NB_NAME(TtCreate),  NB_NAME(TtLastModify), NB_NAME(TtLastAccess),
                         NB_NAME(TtExpirite), NB_NAME(TtErrorI),    NB_NAME(TtErrorII)};
    return printSingle(dbg, t, uint8_t(v), "Tt", uint8_t(v));
}

QDebug operator<<(QDebug dbg, Timeout v)
{
    static const Names t{NB_NAME(ToInfinite), NB_NAME(ToNoWait)};
    return printSingle(dbg, t, int32_t(v), "", int32_t(v));
}

QDebug operator<<(QDebug dbg, BlockFlags v)
{
    static const Names t{};
    return printFlags(dbg, t, uint16_t(v));
}

QDebug operator<<(QDebug dbg, MetaFormat v)
{
    static const Names t{NB_NAME(MfI1),  NB_NAME(MfI2),  NB_NAME(MfI4),  NB_NAME(MfI8),  NB_NAME(MfI16),
                         NB_NAME(MfI32), NB_NAME(MfI64), NB_NAME(MfU1),  NB_NAME(MfU2),  NB_NAME(MfU4),
                         NB_NAME(MfU8),  NB_NAME(MfU16), NB_NAME(MfU32), NB_NAME(MfU64), NB_NAME(MfR16),
                         NB_NAME(MfR32), NB_NAME(MfR64)};
    return printSingle(dbg, t, uint8_t(v), "Mf", uint8_t(v));
}

QDebug operator<<(QDebug dbg, MetaType v)
{
    static const Names t{NB_NAME(MtC), NB_NAME(MtD), NB_NAME(MtCO), NB_NAME(MtDO)};
    return printSingle(dbg, t, uint8_t(v), "Mt", uint8_t(v));
}

QDebug operator<<(QDebug dbg, ErrorCode v)
{
    static const Names t{
        NB_NAME(EcFail), NB_NAME(EcPointer), NB_NAME(EcParam), NB_NAME(EcIdentifier),
        NB_NAME(EcIntegrityFail), NB_NAME(EcConsistencyFail), NB_NAME(EcOutOfMemory),
        NB_NAME(EcInsufficientBuffer), NB_NAME(EcAccessDenied), NB_NAME(EcNoModule),
        NB_NAME(EcNoComponent), NB_NAME(EcNoInterface), NB_NAME(EcObjectNotFound),
        NB_NAME(EcObjectAlreadyExists), NB_NAME(EcTimeoutExpired), NB_NAME(EcCancelled),
        NB_NAME(EcIncorrectVersion), NB_NAME(EcIo), NB_NAME(EcUnsupportedFunction),
        NB_NAME(EcMatrixNotation), NB_NAME(EcUnboundIndex), NB_NAME(EcUnboundData), NB_NAME(EcMeta),
        NB_NAME(EcMetaPattern), NB_NAME(EcMetaNil), NB_NAME(EcUlvarState), NB_NAME(EcSlotId),
        NB_NAME(EcTestMode), NB_NAME(EcTrainMode), NB_NAME(EcConstraint), NB_NAME(EcUnsupportedParam),
        NB_NAME(EcCScheme), NB_NAME(EcBlockType), NB_NAME(EcNumerationRule), NB_NAME(EcNoData),
        NB_NAME(EcNoDataOwn), NB_NAME(EcNoDataAll), NB_NAME(EcBlockState), NB_NAME(EcBlockFlag),
        NB_NAME(EcUnattainableBlockState), NB_NAME(EcParamInNumber), NB_NAME(EcParamSpecInNumber),
        NB_NAME(EcParamSpecOutNumber), NB_NAME(EcPoorDivirgence), NB_NAME(EcPoorQuality),
        NB_NAME(EcPoorStability), NB_NAME(EcPoorOriginality), NB_NAME(EcTooManyGrossErrors),
        NB_NAME(EcObjectState)};
    return printSingle(dbg, t, uint16_t(v), "Ec", uint16_t(v));
}

QDebug operator<<(QDebug dbg, Status status)
{
    dbg.nospace();
    const uint32_t word = uint32_t(status);
    if (int32_t(status) >= 0) {
        if ((word & 0xFFFFu) == 0)
            dbg << "(ScOk)";
        else
            dbg << "(" << int32_t(status) << ")";
        return dbg;
    }
    const uint32_t id = (word >> 16) & 0x7FFFu;
    dbg << "(0x" << QByteArray::number(id, 16).constData() << ";" << statusCode(status) << ")";
    return dbg;
}

QDebug operator<<(QDebug dbg, const TestResult& r)
{
    dbg.nospace() << "(e1:" << r.e1 << " e2:" << r.e2 << " e2HC:" << r.e2HC << " e2BC:" << r.e2BC
                  << " e2Code:" << r.e2Code << " e2WN:" << r.e2WN << " e2CN:" << r.e2CN
                  << " e2Conv:" << r.e2Conv << ")";
    return dbg;
}

int32_t excerptHead(int32_t total)
{
    if (total >= 16)
        return 8;
    if (total <= 0)
        return 0;
    return total == 1 ? 1 : total / 2;
}

Excerpt<uint8_t> byteListing(const uint8_t* data, int32_t total)
{
    static const char16_t blank = u' ';
    return Excerpt<uint8_t>{data, excerptHead(total), &blank, total};
}

namespace {

void putSeparator(QDebug& dbg, const char16_t* separator)
{
    if (!separator || *separator == 0)
        return;
    // Written as a Latin-1 character; one outside Latin-1 writes a NUL.
    const char16_t c = *separator;
    dbg << char(c > 255 ? 0 : c);
}

void putElement(QDebug& dbg, const int32_t* p) { dbg << *p; }
void putElement(QDebug& dbg, const float* p) { dbg << *p; }
void putElement(QDebug& dbg, const uint8_t* p)
{
    static const char digits[] = "0123456789abcdef";
    const char text[3] = {digits[*p >> 4], digits[*p & 15], 0};
    dbg << text;
}

void putBits(QDebug& dbg, const uint8_t* p)
{
    char text[9];
    for (int b = 0; b < 8; ++b)
        text[b] = (*p >> b) & 1 ? '1' : '0';
    text[8] = 0;
    dbg << text;
}

// The listing rules shared by every element kind: the head, ".." where
// elements are left out, and the tail when it does not overlap the head.
template <typename T, typename Put>
QDebug printRun(QDebug dbg, const T* data, int32_t head, int32_t total, const char16_t* separator, Put put)
{
    dbg.nospace();
    if (!data) {
        dbg << "Nil";
        return dbg;
    }
    const int32_t n = qMax(total, 0);
    const int32_t h = qBound(0, head, n);
    for (int32_t i = 0; i < h; ++i) {
        if (i > 0)
            putSeparator(dbg, separator);
        put(dbg, data + i);
    }
    if (h < n && n != 2 * h)
        dbg << "..";
    if (h < n && n >= 2 * h) {
        for (int32_t i = n - h; i < n; ++i) {
            putSeparator(dbg, separator);
            put(dbg, data + i);
        }
    }
    return dbg;
}

template <typename T>
QDebug printExcerpt(QDebug dbg, const Excerpt<T>& e)
{
    return printRun(dbg, e.data, e.head, e.total, e.separator,
                    [](QDebug& d, const T* p) { putElement(d, p); });
}

} // namespace

QDebug operator<<(QDebug dbg, const Excerpt<int32_t>& e) { return printExcerpt(dbg, e); }
QDebug operator<<(QDebug dbg, const Excerpt<float>& e) { return printExcerpt(dbg, e); }
QDebug operator<<(QDebug dbg, const Excerpt<uint8_t>& e) { return printExcerpt(dbg, e); }

QDebug operator<<(QDebug dbg, const BitExcerpt& e)
{
    // Bits have no separator: the bytes of the head run together.
    return printRun(dbg, e.data, e.head, e.total, nullptr, putBits);
}

} // namespace Nb

#pragma once
// The numeric vocabulary shared by all three deliverables, each enumeration
// printable by its value names, plus the test-result and excerpt printers.

#include <cstdint>
#include <QDebug>

namespace Nb {

enum BlockType : uint8_t {
    BtNbc = 0,
    BtAppConv = 1,
    BtCondition = 116,
    BtSecurity = 117,
    BtCodeTransformer = 118,
    BtFuzzyAddresser = 119,
    BtBioAuditor = 120,
    BtConnector = 121,
    BtErrorSpectator = 122,
    BtSoftIndicator = 123,
    BtHardIndicator = 124,
    BtCryptoConv = 125,
    BtFuzzyConv = 126,
    BtNeuralConv = 127,
    BtAppData = 128,
    BtTestResponse = 249,
    BtCScheme = 250,
    BtBioTech = 251,
    BtDate = 252,
    BtUserId = 253,
    BtNbcId = 254,
    BtExtention = 255
};

enum BlockState : uint8_t { BsUntrained = 0, BsTrained = 1, BsPartially = 2 };

enum SlotType : uint16_t { StIn = 0, StSpIn = 0x4000, StSpOut = 0x8000, StConv = 0xC000 };

enum ConstraintType : int16_t { CtGe = -1, CtTst = 0, CtAny = 1, CtOwn = 2, CtAll = 3 };

enum TrainMode : uint16_t {
    TmDefault = 0,
    TmWithoutFlags = 0x1000,
    TmWithoutState = 0x2000,
    TmCheckOnly = 0x8000
};

enum TestMode : uint16_t {
    TmE1Bio = 1,
    TmE2Bio = 2,
    TmE2BioHumanC = 3,
    TmE2BioC = 4,
    TmE2Code = 5,
    TmE2BioWhiteN = 6,
    TmE2BioCorrN = 7,
    TmE2Conv = 8
};

enum SchemeParts : uint16_t {
    SsTrained = 1,
    SsScheme = 2,
    SsInAny = 4,
    SsOutAny = 8,
    SsInOwn = 16,
    SsOutOwn = 32,
    SsInfo = 256
};

enum Purpose : uint8_t {
    PuAuthenticate = 1,
    PuEnter = 2,
    PuIdentify = 4,
    PuAudit = 8,
    PuMultiUser = 16,
    PuMultiImage = 32,
    PuBalanced = 64,
    PuSynthetic = 128
};

enum TagType : uint8_t {
    TtCreate = 1,
    TtLastModify = 2,
    TtLastAccess = 3,
    TtExpirite = 4,
    TtErrorI = 9,
    TtErrorII = 10
};

enum Timeout : int32_t { ToInfinite = -1, ToNoWait = 0 };

// 16-bit flags carried by slots and training requests; no bit has a name.
enum BlockFlags : uint16_t {};

// The eight error estimates of a converter test, in test-mode order.
struct TestResult {
    float e1 = 0;
    float e2 = 0;
    float e2HC = 0;
    float e2BC = 0;
    float e2Code = 0;
    float e2WN = 0;
    float e2CN = 0;
    float e2Conv = 0;
};

// A non-owning view for an abbreviated listing: the first `head` and the last
// `head` of `total` elements, with ".." where elements are left out.
// `separator` always points at a character; the character 0 means none.
template <typename T>
struct Excerpt {
    const T* data = nullptr;
    int32_t head = 0;
    const char16_t* separator = nullptr;
    int32_t total = 0;
};

// Bytes listed as bits, bit 0 of each byte first; head and total count bytes.
struct BitExcerpt {
    const uint8_t* data = nullptr;
    int32_t head = 0;
    int32_t total = 0;
};

QDebug operator<<(QDebug dbg, BlockType v);
QDebug operator<<(QDebug dbg, BlockState v);
QDebug operator<<(QDebug dbg, SlotType v);
QDebug operator<<(QDebug dbg, ConstraintType v);
QDebug operator<<(QDebug dbg, TrainMode v);
QDebug operator<<(QDebug dbg, TestMode v);
QDebug operator<<(QDebug dbg, SchemeParts v);
QDebug operator<<(QDebug dbg, Purpose v);
QDebug operator<<(QDebug dbg, TagType v);
QDebug operator<<(QDebug dbg, Timeout v);
QDebug operator<<(QDebug dbg, BlockFlags v);
QDebug operator<<(QDebug dbg, const TestResult& r);
QDebug operator<<(QDebug dbg, const Excerpt<int32_t>& e);
QDebug operator<<(QDebug dbg, const Excerpt<float>& e);
QDebug operator<<(QDebug dbg, const Excerpt<uint8_t>& e); // hexadecimal bytes
QDebug operator<<(QDebug dbg, const BitExcerpt& e);

// Head count of the dumps of blocks, buffers and rows: 8, or half of a
// shorter run rounded down (1 for a single element).
int32_t excerptHead(int32_t total);

// The blank-separated byte listing that the dumps of blocks and buffers use.
Excerpt<uint8_t> byteListing(const uint8_t* data, int32_t total);

} // namespace Nb

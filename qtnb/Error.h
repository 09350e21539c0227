#pragma once
// Error codes, result codes, the scheme status word and the "@err" report
// written at every failed check of the core library and the engine.

#include <cstdint>
#include <QDebug>
#include <QLoggingCategory>
#include <QMessageLogger>

namespace Nb {

enum ErrorCode : uint16_t {
    EcFail = 1,
    EcPointer = 2,
    EcParam = 3,
    EcIdentifier = 4,
    EcIntegrityFail = 5,
    EcConsistencyFail = 6,
    EcOutOfMemory = 7,
    EcInsufficientBuffer = 8,
    EcAccessDenied = 9,
    EcNoModule = 10,
    EcNoComponent = 11,
    EcNoInterface = 12,
    EcObjectNotFound = 13,
    EcObjectAlreadyExists = 14,
    EcTimeoutExpired = 15,
    EcCancelled = 16,
    EcIncorrectVersion = 17,
    EcIo = 18,
    EcUnsupportedFunction = 19,
    EcMatrixNotation = 20,
    EcUnboundIndex = 21,
    EcUnboundData = 22,
    EcMeta = 23,
    EcMetaPattern = 24,
    EcMetaNil = 25,
    EcUlvarState = 32,
    EcSlotId = 33,
    EcTestMode = 34,
    EcTrainMode = 35,
    EcConstraint = 36,
    EcUnsupportedParam = 37,
    EcCScheme = 38,
    EcBlockType = 39,
    EcNumerationRule = 40,
    EcNoData = 42,
    EcNoDataOwn = 43,
    EcNoDataAll = 44,
    EcBlockState = 48,
    EcBlockFlag = 49,
    EcUnattainableBlockState = 50,
    EcParamInNumber = 51,
    EcParamSpecInNumber = 52,
    EcParamSpecOutNumber = 53,
    EcPoorDivirgence = 55,
    EcPoorQuality = 56,
    EcPoorStability = 57,
    EcPoorOriginality = 58,
    EcTooManyGrossErrors = 59,
    EcObjectState = 61
};

// The 32-bit status word a converter scheme keeps about its last failure:
// bit 31 the failure flag, bits 0-15 the error code, the high half the
// failing slot's id with bit 14 forced on (0xC000 for the scheme as a whole).
enum Status : int32_t { ScOk = 0 };

// Result code of an operation that crosses a library boundary: 0 or
// 0xA0000000 | code.
using Result = uint32_t;
constexpr Result RcOk = 0;

constexpr Result resultCode(ErrorCode code) { return 0xA0000000u | uint32_t(code); }

constexpr Status slotStatus(uint16_t slotId, ErrorCode code)
{
    return Status(int32_t(0x80000000u | (uint32_t(uint16_t(slotId | 0x4000)) << 16) | uint32_t(code)));
}

constexpr Status schemeStatus(ErrorCode code) { return slotStatus(0, code); }

constexpr bool isFailure(Status s) { return int32_t(s) < 0; }

constexpr ErrorCode statusCode(Status s) { return ErrorCode(uint32_t(s) & 0xFFFFu); }

QDebug operator<<(QDebug dbg, ErrorCode code);
QDebug operator<<(QDebug dbg, Status status);

} // namespace Nb

namespace Nb::detail {

// Whether a debug line of the default category reaches the message handler;
// checked before a report is formatted, so that with debug output switched
// off a failed check costs nothing.
inline bool debugEnabled()
{
    const QLoggingCategory* category = QLoggingCategory::defaultCategory();
    return !category || category->isDebugEnabled();
}

} // namespace Nb::detail

// A statement that writes the debug line it is followed by only when debug
// output of the default category is on.
#define NB_DEBUG_LINE                                                              \
    for (bool nbDebugOn_ = ::Nb::detail::debugEnabled(); nbDebugOn_; nbDebugOn_ = false) \
        QMessageLogger(__FILE__, __LINE__, Q_FUNC_INFO, "default").debug()

// One debug line per failed check: "@err", the check's number within its
// function, the source line and the source path, with file, line and full
// function signature as the message context.
#define NB_ERR(n) NB_DEBUG_LINE << "@err" << int(n) << " line:" << int(__LINE__) << " file:" << __FILE__

// The engine's form of the report writes " file:" and the path as one item.
#define BC_ERR(n) NB_DEBUG_LINE << "@err" << int(n) << " line:" << int(__LINE__) << " file:" __FILE__

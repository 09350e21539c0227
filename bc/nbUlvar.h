#pragma once
// The engine module's contract with its clients: the component interfaces
// nbIUnknown and nbIUlvar, their identifiers, the result codes and the
// module's exported functions. Byte buffers cross as length-prefixed buffers:
// a pointer to the first data byte with the int32 byte count (little-endian)
// in the four bytes in front of it; matrices cross as Nb::Matrix pointers.
// The caller owns whatever it passes.

#include <cstdint>

#include "qtnb/Enums.h"
#include "qtnb/Matrix.h"
#include "qtnb/Uuid.h"

// Entry points of a module: C linkage, the only symbols a module shows.
#if defined(_WIN32)
#define NB_MODULE_EXPORT __declspec(dllexport)
#else
#define NB_MODULE_EXPORT __attribute__((visibility("default")))
#endif

// {9AC0FE89-596E-4414-9436-05122BD94D34}
inline const Nb::Uuid CLSID_Ulvar(0x9AC0FE89u, 0x596E, 0x4414, 0x94, 0x36, 0x05, 0x12, 0x2B, 0xD9, 0x4D, 0x34);
// {00000000-0000-0000-00C0-000000000046}: not COM's IUnknown, whose ninth and
// tenth bytes are C0 00.
inline const Nb::Uuid IID_nbIUnknown(0u, 0, 0, 0x00, 0xC0, 0, 0, 0, 0, 0, 0x46);
// {A3213E60-57B3-4643-84E4-11CAB9E81FFE}
inline const Nb::Uuid IID_nbIUlvar(0xA3213E60u, 0x57B3, 0x4643, 0x84, 0xE4, 0x11, 0xCA, 0xB9, 0xE8, 0x1F, 0xFE);

// Result codes of the module and its interfaces; a scheme failure comes back
// as the scheme's status word (bit 31 set, the error number in the low half).
constexpr uint32_t nbS_OK = 0;
constexpr uint32_t nbE_POINTER = 0xA0000002u;
constexpr uint32_t nbE_PARAM = 0xA0000003u;
constexpr uint32_t nbE_CONSISTENCY_FAIL = 0xA0000006u;
constexpr uint32_t nbE_OUT_OF_MEMORY = 0xA0000007u;
constexpr uint32_t nbE_INSUFFICIENT_BUFFER = 0xA0000008u;
constexpr uint32_t nbE_NO_COMPONENT = 0xA000000Bu;
constexpr uint32_t nbE_NO_INTERFACE = 0xA000000Cu;
constexpr uint32_t nbE_OBJECT_NOT_FOUND = 0xA000000Du;
constexpr uint32_t nbE_UNSUPPORTED_FUNCTION = 0xA0000013u;
constexpr uint32_t nbE_META = 0xA0000017u;
constexpr uint32_t nbE_SLOT_ID = 0xA0000021u;
constexpr uint32_t nbE_TEST_MODE = 0xA0000022u;

// Reference-counted base of every module interface. Objects are destroyed by
// their last release, never through this type.
class nbIUnknown {
public:
    virtual uint32_t queryInterface(const Nb::Uuid* iid, void** out) = 0;
    virtual uint32_t addRef() = 0;
    virtual uint32_t release() = 0;

protected:
    ~nbIUnknown() = default;
};

// The converter engine. Slot ids are 16-bit; 0 names the scheme's result.
class nbIUlvar : public nbIUnknown {
public:
    virtual uint32_t reserved3() = 0;
    virtual uint32_t setScheme(const char* buffer) = 0;
    virtual uint32_t reserved5() = 0;
    virtual uint32_t getSlot(uint16_t slotId, char* buffer) = 0;
    virtual uint32_t setConstraint(uint16_t slotId, Nb::ConstraintType ct, const Nb::Matrix* m) = 0;
    virtual uint32_t getConstraint(uint16_t slotId, Nb::ConstraintType ct, Nb::Matrix* m) = 0;
    virtual uint32_t emulate(const Nb::Matrix* in, Nb::Matrix* out, const uint16_t* outIds) = 0;
    virtual uint32_t train(const Nb::Matrix* own, const Nb::Matrix* alien, const Nb::Matrix* code,
                           Nb::Timeout timeout) = 0;
    virtual uint32_t trainSlot(uint16_t slotId, Nb::TrainMode mode, Nb::BlockState state, Nb::BlockFlags flags,
                               Nb::Timeout timeout) = 0;
    virtual uint32_t qeval(const Nb::Matrix* a, const Nb::Matrix* b, Nb::Matrix* quality) = 0;
    virtual uint32_t test(Nb::TestMode mode, Nb::Matrix* out, Nb::Timeout timeout) = 0;
    virtual uint32_t clear(Nb::SchemeParts parts) = 0;
    virtual uint32_t getParams(char* buffer, const Nb::Uuid* id) = 0;
    virtual uint32_t setParams(const char* buffer) = 0;

protected:
    ~nbIUlvar() = default;
};

// What a caller of NbEnumComponents passes; the module calls onComponent once
// per component with its class id and its descriptor text.
class nbIEnumerator : public nbIUnknown {
public:
    virtual uint32_t onComponent(int32_t first, int32_t second, const Nb::Uuid* classId, const char* descriptor) = 0;

protected:
    ~nbIEnumerator() = default;
};

extern "C" {
using NbQueryComponentFn = uint32_t (*)(const Nb::Uuid* classId, const Nb::Uuid* iid, void** out);
using NbEnumComponentsFn = uint32_t (*)(nbIEnumerator* enumerator);
using NbCanUnloadFn = int32_t (*)();

NB_MODULE_EXPORT uint32_t NbQueryComponent(const Nb::Uuid* classId, const Nb::Uuid* iid, void** out);
NB_MODULE_EXPORT uint32_t NbEnumComponents(nbIEnumerator* enumerator);
NB_MODULE_EXPORT int32_t NbCanUnload();
}

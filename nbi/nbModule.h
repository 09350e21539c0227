#pragma once
// The contract between the wizard library and every module in "modules":
// the engine (nbIUlvar), input providers (nbIProvider) and processors
// (nbIProcessor), the event sink a provider calls (nbIEventHandler), their
// identifiers, the result codes and the exported entry points.
//
// Byte buffers cross as length-prefixed buffers: a pointer to the first data
// byte with the int32 byte count (little-endian) in the four bytes in front of
// it. Matrices cross as Nb::Matrix pointers. An image crosses as one buffer of
// the Nb::Bim layout (int32 length, 16-byte image type id, the bytes). What a
// module hands out stays the module's until it comes back through the
// module's own release operation (freeBim, freeBuffer); what the caller passes
// stays the caller's.

#include <cstdint>

#include "qtnb/Enums.h"
#include "qtnb/Error.h"
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

// {4077DC01-8AB9-4322-B37E-26C2A4A27A2C}
inline const Nb::Uuid IID_nbIProvider(0x4077DC01u, 0x8AB9, 0x4322, 0xB3, 0x7E, 0x26, 0xC2, 0xA4, 0xA2, 0x7A, 0x2C);
// {45EB7F85-D92D-4045-B05C-502294F4F7B4}
inline const Nb::Uuid IID_nbIProcessor(0x45EB7F85u, 0xD92D, 0x4045, 0xB0, 0x5C, 0x50, 0x22, 0x94, 0xF4, 0xF7, 0xB4);

// Biometric technologies: the image type of every sample a provider of that
// technology hands out, and the id a container's module record names.
// {C42A41D2-0118-4EF9-B71C-F3B27D1A980D}
inline const Nb::Uuid TECH_Handwriting(0xC42A41D2u, 0x0118, 0x4EF9, 0xB7, 0x1C, 0xF3, 0xB2, 0x7D, 0x1A, 0x98, 0x0D);
// {EFAD1EB7-29F3-4C69-8689-EA2C938D1119}
inline const Nb::Uuid TECH_Fingerprint(0xEFAD1EB7u, 0x29F3, 0x4C69, 0x86, 0x89, 0xEA, 0x2C, 0x93, 0x8D, 0x11, 0x19);

// Component classes of the technology table, in its row order.
// {A9EBF452-CF25-408C-8647-5E3A1D57FF4E}
inline const Nb::Uuid CLSID_HandwritingProvider(0xA9EBF452u, 0xCF25, 0x408C, 0x86, 0x47, 0x5E, 0x3A, 0x1D, 0x57, 0xFF, 0x4E);
// {702CBB42-7367-48CF-BED1-D78D1774BA52}
inline const Nb::Uuid CLSID_HandwritingProcessor(0x702CBB42u, 0x7367, 0x48CF, 0xBE, 0xD1, 0xD7, 0x8D, 0x17, 0x74, 0xBA, 0x52);
// {9668C4D8-E454-4F95-A005-C45F7D2D7474}
inline const Nb::Uuid CLSID_HandwritingProvider2(0x9668C4D8u, 0xE454, 0x4F95, 0xA0, 0x05, 0xC4, 0x5F, 0x7D, 0x2D, 0x74, 0x74);
// {6B5F390B-B441-41AD-B3FC-15F57C0E5750}
inline const Nb::Uuid CLSID_HandwritingProcessor2(0x6B5F390Bu, 0xB441, 0x41AD, 0xB3, 0xFC, 0x15, 0xF5, 0x7C, 0x0E, 0x57, 0x50);
// {7F4D6E5A-4950-493C-84F9-A6EAE368AE9D}
inline const Nb::Uuid CLSID_FingerprintProvider(0x7F4D6E5Au, 0x4950, 0x493C, 0x84, 0xF9, 0xA6, 0xEA, 0xE3, 0x68, 0xAE, 0x9D);
// {6B2E0B0B-FF32-4DB7-B22F-2E60F6D3C68C}
inline const Nb::Uuid CLSID_FingerprintProcessor(0x6B2E0B0Bu, 0xFF32, 0x4DB7, 0xB2, 0x2F, 0x2E, 0x60, 0xF6, 0xD3, 0xC6, 0x8C);

// Result codes of the modules and their interfaces: 0, or bits 31 and 29 with
// an error number of Nb::ErrorCode in the low half. A scheme failure comes
// back as the scheme's status word (bit 31 set, the error number in the low
// half). 0x3E (device not connected) has no name among the error numbers.
constexpr uint32_t nbS_OK = Nb::RcOk;
constexpr uint32_t nbE_POINTER = Nb::resultCode(Nb::EcPointer);
constexpr uint32_t nbE_PARAM = Nb::resultCode(Nb::EcParam);
constexpr uint32_t nbE_CONSISTENCY_FAIL = Nb::resultCode(Nb::EcConsistencyFail);
constexpr uint32_t nbE_OUT_OF_MEMORY = Nb::resultCode(Nb::EcOutOfMemory);
constexpr uint32_t nbE_INSUFFICIENT_BUFFER = Nb::resultCode(Nb::EcInsufficientBuffer);
constexpr uint32_t nbE_NO_MODULE = Nb::resultCode(Nb::EcNoModule);
constexpr uint32_t nbE_NO_COMPONENT = Nb::resultCode(Nb::EcNoComponent);
constexpr uint32_t nbE_NO_INTERFACE = Nb::resultCode(Nb::EcNoInterface);
constexpr uint32_t nbE_OBJECT_NOT_FOUND = Nb::resultCode(Nb::EcObjectNotFound);
constexpr uint32_t nbE_TIMEOUT_EXPIRED = Nb::resultCode(Nb::EcTimeoutExpired);
constexpr uint32_t nbE_CANCELLED = Nb::resultCode(Nb::EcCancelled);
constexpr uint32_t nbE_UNSUPPORTED_FUNCTION = Nb::resultCode(Nb::EcUnsupportedFunction);
constexpr uint32_t nbE_META = Nb::resultCode(Nb::EcMeta);
constexpr uint32_t nbE_SLOT_ID = Nb::resultCode(Nb::EcSlotId);
constexpr uint32_t nbE_TEST_MODE = Nb::resultCode(Nb::EcTestMode);
constexpr uint32_t nbE_DEVICE_NOT_CONNECTED = 0xA000003Eu;
// A processor's setTemplate may answer this instead of 0: accepted as well.
constexpr uint32_t nbS_TEMPLATE_KEPT = 2;

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

// Events a provider raises through the sink it was given.
constexpr uint32_t nbEV_IMAGE_STARTED = 0x100; // capture of an image has begun
constexpr uint32_t nbEV_IMAGE_READY = 0x103;   // an image waits in waitForBimReady
constexpr uint32_t nbEV_IMAGE_CANCEL = 0x104;  // the capture was cancelled at the device
// getImage's kind: the current image as picture-file bytes.
constexpr uint32_t nbIMAGE_PICTURE = 0x105;

// The caller's event sink. Its AddRef and Release count nothing: it lives as
// long as the object that registered it.
class nbIEventHandler : public nbIUnknown {
public:
    virtual uint32_t onEvent(uint32_t code) = 0;

protected:
    ~nbIEventHandler() = default;
};

// A window handle as the provider receives it: the widget of the capture
// area, or nbDETACH_WINDOW.
using nbWindow = void*;
inline nbWindow const nbDETACH_WINDOW = reinterpret_cast<nbWindow>(intptr_t(-1));

// An input device that captures biometric images.
class nbIProvider : public nbIUnknown {
public:
    virtual uint32_t setEventHandler(nbIEventHandler* handler) = 0;
    // index 0 attaches the first device, -1 detaches.
    virtual uint32_t attachDevice(int32_t index) = 0;
    // The live image is shown in the window; nbDETACH_WINDOW detaches.
    virtual uint32_t attachWindow(nbWindow window, uint32_t flags) = 0;
    // out and params are length-prefixed; a short out gets the needed length
    // in its prefix and a non-zero result.
    virtual uint32_t getImage(uint32_t kind, uint8_t* out, const uint8_t* params) = 0;
    virtual uint32_t stopCapture() = 0;
    virtual uint32_t viewImage(const uint8_t* image, uint8_t flag) = 0;
    virtual uint32_t reserved9() = 0;
    // The image slot receives a module-owned image of the given type.
    virtual uint32_t startCapture(uint8_t** slot, const Nb::Uuid* imageType, uint8_t flag) = 0;
    virtual uint32_t waitForBimReady(uint8_t** slot, uint32_t timeoutMs) = 0;
    virtual uint32_t freeBim(uint8_t* image) = 0;

protected:
    ~nbIProvider() = default;
};

// Turns captured images into parameter matrices and templates.
class nbIProcessor : public nbIUnknown {
public:
    virtual uint32_t reserved3() = 0;
    // images: count image buffers of the caller's; both outputs are the
    // module's and go back through freeBuffer (null ones too).
    virtual uint32_t convert(Nb::Matrix** params, uint8_t* const* images, uint32_t count, Nb::Matrix** extra) = 0;
    virtual uint32_t getTemplate(Nb::Matrix** first, Nb::Matrix** templ, uint8_t* const* images,
                                 uint32_t count) = 0;
    // 0 or nbS_TEMPLATE_KEPT: accepted.
    virtual uint32_t setTemplate(const Nb::Matrix* templ, const Nb::Uuid* imageType) = 0;
    virtual uint32_t reserved7() = 0;
    // count -1: every foreign vector the module holds.
    virtual uint32_t getAlienParams(Nb::Matrix** out, int32_t count, const Nb::Uuid* imageType,
                                    uint32_t reserved) = 0;
    // Accepts null; the result carries no meaning.
    virtual uint32_t freeBuffer(void* buffer) = 0;

protected:
    ~nbIProcessor() = default;
};

extern "C" {
using NbQueryComponentFn = uint32_t (*)(const Nb::Uuid* classId, const Nb::Uuid* iid, void** out);
using NbEnumComponentsFn = uint32_t (*)(nbIEnumerator* enumerator);
using NbCanUnloadFn = int32_t (*)();

NB_MODULE_EXPORT uint32_t NbQueryComponent(const Nb::Uuid* classId, const Nb::Uuid* iid, void** out);
NB_MODULE_EXPORT uint32_t NbEnumComponents(nbIEnumerator* enumerator);
NB_MODULE_EXPORT int32_t NbCanUnload();
}

// Stand-in for the wizard library: the three exports with behaviour that
// the test picks through nbtest_setMode, and counters it reads back.

#include <cstdint>
#include <cstring>

class QWidget;

#define NBTEST_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
int g_mode = 0;
int g_frees = 0;
int g_wipedFrees = 0;
uint8_t* g_lastReturned = nullptr;
uint32_t g_lastReturnedLen = 0;
uint8_t g_lastInput[64];
uint32_t g_lastInputLen = 0;
const uint8_t* g_lastInputPtr = nullptr;
QWidget* g_lastParent = nullptr;

// The bytes mode 5 hands back.
uint8_t g_reply[4096];
uint32_t g_replyLen = 0;

// mode 0: success, returns the input reversed; 1: cancelled; 2: success
// with a null buffer and length 5; 3: success with an empty buffer;
// 4: failure code 0xA0000003; 5: success with the bytes of nbtest_setReply.
uint32_t run(const uint8_t* in, uint32_t len, uint8_t** out, uint32_t* outLen, QWidget* parent)
{
    g_lastInputPtr = in;
    g_lastInputLen = len;
    g_lastParent = parent;
    std::memcpy(g_lastInput, in, len < sizeof g_lastInput ? len : sizeof g_lastInput);
    switch (g_mode) {
    case 0:
        *out = new uint8_t[len];
        for (uint32_t i = 0; i < len; ++i)
            (*out)[i] = in[len - 1 - i];
        *outLen = len;
        break;
    case 1:
        *out = reinterpret_cast<uint8_t*>(1); // garbage that must not be freed
        return 2;
    case 2:
        *out = nullptr;
        *outLen = 5;
        return 0;
    case 3:
        *out = new uint8_t[0];
        *outLen = 0;
        break;
    case 5:
        *out = new uint8_t[g_replyLen];
        std::memcpy(*out, g_reply, g_replyLen);
        *outLen = g_replyLen;
        break;
    default:
        return 0xA0000003u;
    }
    g_lastReturned = *out;
    g_lastReturnedLen = *outLen;
    return 0;
}
} // namespace

NBTEST_EXPORT uint32_t nb_train(const uint8_t* in, uint32_t len, uint8_t** out, uint32_t* outLen, QWidget* parent)
{
    return run(in, len, out, outLen, parent);
}

NBTEST_EXPORT uint32_t nb_extract(const uint8_t* in, uint32_t len, uint8_t** out, uint32_t* outLen,
                                  QWidget* parent)
{
    return run(in, len, out, outLen, parent);
}

#ifndef NBTEST_NO_FREE
NBTEST_EXPORT uint32_t nb_free(uint8_t* p)
{
    if (!p)
        return 1;
    if (p == g_lastReturned) {
        ++g_frees;
        bool zeros = g_lastReturnedLen > 0;
        for (uint32_t i = 0; i < g_lastReturnedLen; ++i)
            zeros = zeros && p[i] == 0;
        g_wipedFrees += zeros;
    }
    delete[] p;
    return 0;
}
#endif

NBTEST_EXPORT void nbtest_setMode(int mode) { g_mode = mode; }
NBTEST_EXPORT void nbtest_setReply(const uint8_t* bytes, uint32_t len)
{
    g_replyLen = len < sizeof g_reply ? len : 0;
    std::memcpy(g_reply, bytes, g_replyLen);
}
NBTEST_EXPORT int nbtest_frees() { return g_frees; }
NBTEST_EXPORT int nbtest_wipedFrees() { return g_wipedFrees; } // handed back all zeros
NBTEST_EXPORT const uint8_t* nbtest_lastInput(uint32_t* len, const uint8_t** ptr, QWidget** parent)
{
    *len = g_lastInputLen;
    *ptr = g_lastInputPtr;
    *parent = g_lastParent;
    return g_lastInput;
}

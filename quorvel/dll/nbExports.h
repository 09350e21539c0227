#pragma once
// The three entry points of the wizard library, with C linkage; the only
// symbols it shows. Buffers it returns are the caller's until they come
// back through nb_free.

#include <cstdint>

class QWidget;

#if defined(_WIN32)
#define QUORVEL_EXPORT __declspec(dllexport)
#else
#define QUORVEL_EXPORT __attribute__((visibility("default")))
#endif

// Results of the two wizard exports beyond 0 (success).
constexpr uint32_t NB_E_PARAM = 1;            // nb_extract: a bad argument
constexpr uint32_t NB_CANCEL = 2;             // the user cancelled the wizard
constexpr uint32_t NB_E_FAIL = 0xFFFFFFFFu;   // an unexpected failure
constexpr uint32_t NB_TRAIN_E_PARAM = 0xA0000003u; // nb_train: a bad argument
// The longest key a container can be trained for: its code length in bits
// must stay within what a container read from outside may announce.
constexpr uint32_t NB_MAX_KEY_BYTES = 65536 / 8;

extern "C" {
// Runs the training wizard for the key; on 0 *container holds the trained
// container's bytes and *length their count.
QUORVEL_EXPORT uint32_t nb_train(const uint8_t* code, uint32_t codeLength, uint8_t** container, uint32_t* length,
                                 QWidget* parent);
// Runs the key-extraction wizard for the container; on 0 *key holds the key.
QUORVEL_EXPORT uint32_t nb_extract(const uint8_t* container, uint32_t containerLength, uint8_t** key,
                                   uint32_t* keyLength, QWidget* parent);
// Wipes and releases a buffer the two above returned; 1 for null or for a
// pointer that is not such a buffer.
QUORVEL_EXPORT uint32_t nb_free(uint8_t* buffer);
}

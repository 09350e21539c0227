#include "quorvel/dll/nbExports.h"

#include <QByteArray>
#include <QDebug>
#include <QMessageLogger>
#include <QTextCodec>

#include <climits>
#include <cstring>
#include <new>
#include <stdexcept>

#include "quorvel/interface/ExtractWizard.h"
#include "quorvel/interface/TrainWizard.h"
#include "qtnb/Data.h"
#include "qtnb/Handed.h"
#include "qtnb/Wipe.h"

namespace {

void setUtf8Codec() { QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8")); }

// A buffer handed out: its length word in front, so that its free knows
// how much to wipe.
void freeBuffer(uint8_t* buffer)
{
    Nb::wipe(buffer, size_t(Nb::lengthWord(buffer)));
    delete[] (buffer - 4);
}

// Buffers handed out and not yet freed: nb_free takes back only those.
Nb::Handed<uint8_t, freeBuffer>& handedOut()
{
    static Nb::Handed<uint8_t, freeBuffer> buffers;
    return buffers;
}

// A buffer of exactly the bytes' length, also for none.
uint8_t* handOut(const QByteArray& bytes)
{
    uint8_t* const block = new uint8_t[size_t(bytes.size()) + 4];
    uint8_t* const buffer = block + 4;
    Nb::setLengthWord(buffer, bytes.size());
    if (!bytes.isEmpty())
        std::memcpy(buffer, bytes.constData(), size_t(bytes.size()));
    return handedOut().add(buffer);
}

// The trace of an export carries the export's own signature as its
// context, not that of the lambda or helper the line is written in.
const char* const ExtractSignature = "uint32_t nb_extract(const uint8_t*, uint32_t, uint8_t**, uint32_t*, QWidget*)";
const char* const TrainSignature = "uint32_t nb_train(const uint8_t*, uint32_t, uint8_t**, uint32_t*, QWidget*)";
#define TRACE(signature) QMessageLogger(__FILE__, __LINE__, signature).debug().noquote().nospace()

// Every failure stays inside the library.
template <typename Body>
uint32_t guardedExport(const char* signature, Body&& body)
{
    try {
        return body();
    } catch (const std::runtime_error& e) {
        TRACE(signature) << "returning E_FAIL\r\n" << "  " << e.what();
    } catch (const std::exception& e) {
        TRACE(signature) << "returning E_FAIL\r\n" << "  " << e.what();
    } catch (...) {
        TRACE(signature) << "returning E_FAIL\r\n" << "  unknown exception";
    }
    return NB_E_FAIL;
}

// Runs the wizard over a copy of the caller's bytes; when the user finishes
// it, what it made is handed out. Both are wiped however it ends.
template <class Wizard>
uint32_t runWizard(const char* signature, const char* cancelled, const uint8_t* input, uint32_t inputLength,
                   uint8_t** out, uint32_t* outLength, QWidget* parent)
{
    *out = nullptr;
    *outLength = 0;
    const Nb::SecretBytes bytes(QByteArray(reinterpret_cast<const char*>(input), int(inputLength)));
    Nb::SecretBytes result;
    Wizard wizard(bytes, result.bytes(), parent);
    if (wizard.exec() == 0) {
        TRACE(signature) << cancelled;
        return NB_CANCEL;
    }
    *out = handOut(result);
    *outLength = uint32_t(result.size());
    return 0;
}

} // namespace

extern "C" uint32_t nb_extract(const uint8_t* container, uint32_t containerLength, uint8_t** key,
                               uint32_t* keyLength, QWidget* parent)
{
    return guardedExport(ExtractSignature, [&]() -> uint32_t {
        setUtf8Codec();
        TRACE(ExtractSignature) << "Now at 'extract' function";
        if (!container || !key || !keyLength) {
            TRACE(ExtractSignature) << "returning E_PARAM\r\n" << "  some param is NULL";
            return NB_E_PARAM;
        }
        if (containerLength == 0) {
            TRACE(ExtractSignature) << "returning E_PARAM\r\n" << "  'container' is empty";
            return NB_E_PARAM;
        }
        if (containerLength > uint32_t(INT_MAX)) {
            TRACE(ExtractSignature) << "returning E_PARAM\r\n" << "  'container' is too long";
            return NB_E_PARAM;
        }
        const uint32_t result = runWizard<ExtractWizard>(ExtractSignature,
                                                         "returning E_CANCEL\r\n  user cancels the dialog",
                                                         container, containerLength, key, keyLength, parent);
        if (result == 0)
            TRACE(ExtractSignature) << "'extract' succesfull";
        return result;
    });
}

extern "C" uint32_t nb_train(const uint8_t* code, uint32_t codeLength, uint8_t** container, uint32_t* length,
                             QWidget* parent)
{
    return guardedExport(TrainSignature, [&]() -> uint32_t {
        setUtf8Codec();
        TRACE(TrainSignature) << "Now at 'train' function";
        if (!code) {
            TRACE(TrainSignature) << "returning nbE_PARAM\r\n" << "  'code' is NULL";
            return NB_TRAIN_E_PARAM;
        }
        if (codeLength == 0) {
            TRACE(TrainSignature) << "returning nbE_PARAM\r\n" << "  'code' is empty";
            return NB_TRAIN_E_PARAM;
        }
        if (!container || !length) {
            TRACE(TrainSignature) << "returning nbE_PARAM\r\n" << "  some param is NULL";
            return NB_TRAIN_E_PARAM;
        }
        if (codeLength > NB_MAX_KEY_BYTES) {
            TRACE(TrainSignature) << "returning nbE_PARAM\r\n" << "  'code' is too long";
            return NB_TRAIN_E_PARAM;
        }
        const uint32_t result = runWizard<TrainWizard>(TrainSignature, "returning nbS_CANCEL\r\nuser cancels the dialog",
                                                       code, codeLength, container, length, parent);
        if (result == 0)
            TRACE(TrainSignature) << "'train' succesfull";
        return result;
    });
}

extern "C" uint32_t nb_free(uint8_t* buffer)
{
    setUtf8Codec();
    if (!buffer)
        return 1;
    if (!handedOut().giveBack(buffer)) {
        qDebug() << "nb_free: not a buffer of this library";
        return 1;
    }
    return 0;
}

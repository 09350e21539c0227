// RC4 is kept for the existing store format; OpenSSL 3 marks its low-level
// interface deprecated, so the warning is silenced for this file only.
#define OPENSSL_SUPPRESS_DEPRECATED

#include "varnex/model/repository.h"
#include "qtnb/Wipe.h"

#include <openssl/err.h>
#include <openssl/rand.h>
#include <openssl/rc4.h>

#include <stdexcept>

namespace {

void rc4(const QByteArray& input, const QByteArray& key, QByteArray& output)
{
    // A key of length 0 would make the key schedule read past its buffer.
    if (key.isEmpty())
        throw std::invalid_argument("Empty key");
    output.resize(input.size());
    if (input.isEmpty())
        return;
    RC4_KEY schedule;
    RC4_set_key(&schedule, key.size(), reinterpret_cast<const unsigned char*>(key.constData()));
    RC4(&schedule, size_t(input.size()), reinterpret_cast<const unsigned char*>(input.constData()),
        reinterpret_cast<unsigned char*>(output.data()));
    Nb::wipe(&schedule, sizeof schedule);
}

} // namespace

Cipher::Cipher(int algorithm) : m_algorithm(algorithm)
{
    ERR_load_crypto_strings();
}

Cipher::~Cipher()
{
    ERR_free_strings();
}

void Cipher::encrypt(const QByteArray& input, const QByteArray& key, QByteArray& output) const
{
    if (m_algorithm != 0)
        throw std::invalid_argument("Unsupported encryption algorithm");
    rc4(input, key, output);
}

void Cipher::decrypt(const QByteArray& input, const QByteArray& key, QByteArray& output) const
{
    if (m_algorithm != 0)
        throw std::invalid_argument("Unsupported decryption algorithm");
    rc4(input, key, output);
}

bool Cipher::randomBytes(QByteArray& output, int bits)
{
    const int n = bits > 0 ? bits / 8 : 0;
    output.resize(n);
    if (n == 0)
        return true;
    if (RAND_bytes(reinterpret_cast<unsigned char*>(output.data()), n) != 1) {
        output.clear();
        return false;
    }
    return true;
}

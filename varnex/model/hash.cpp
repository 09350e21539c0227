#include "varnex/model/repository.h"
#include "qtnb/Wipe.h"

#include <openssl/evp.h>

namespace {

// libcrypto wipes its digest state when it lets it go; Qt's keeps the last
// block of the input (a key, a password) in memory that it frees as it is.
const EVP_MD* libcryptoDigest(int algorithm)
{
    switch (algorithm) {
    case QCryptographicHash::Md5:
        return EVP_md5();
    case QCryptographicHash::Sha1:
        return EVP_sha1();
    case QCryptographicHash::Sha224:
        return EVP_sha224();
    case QCryptographicHash::Sha256:
        return EVP_sha256();
    case QCryptographicHash::Sha384:
        return EVP_sha384();
    case QCryptographicHash::Sha512:
        return EVP_sha512();
    default:
        return nullptr;
    }
}

} // namespace

Hash::Hash(int algorithm)
    : m_hash(QCryptographicHash::Algorithm(algorithm)), m_algorithm(algorithm)
{
}

QByteArray Hash::hash(const QByteArray& data) const
{
    if (const EVP_MD* md = libcryptoDigest(m_algorithm)) {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int size = 0;
        QByteArray result;
        if (EVP_Digest(data.constData(), size_t(data.size()), digest, &size, md, nullptr) == 1)
            result = QByteArray(reinterpret_cast<const char*>(digest), int(size));
        Nb::wipe(digest, sizeof digest);
        if (!result.isEmpty())
            return result;
    }
    return QCryptographicHash::hash(data, QCryptographicHash::Algorithm(m_algorithm));
}

QByteArray Hash::hash(const QString& text) const
{
    const Nb::SecretBytes utf8(text.toUtf8());
    return hash(utf8.bytes());
}

QByteArray Hash::hash(const QByteArray& a, const QByteArray& b) const
{
    // One allocation of the final size: a growing buffer would leave a copy
    // of a (the key) behind.
    QByteArray buffer;
    buffer.reserve(a.size() + b.size());
    buffer.append(a).append(b);
    const Nb::SecretBytes joined(std::move(buffer));
    return hash(joined.bytes());
}

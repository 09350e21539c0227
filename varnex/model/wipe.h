#pragma once
// Secret bytes (store keys, deciphered content, password bytes) are
// overwritten before their memory is given back.
//
// Qt's containers share their data: a copy that shares is no second copy,
// and the buffer is wiped by whichever owner lets it go last. A buffer
// that another owner still holds is left to that owner.

#include <QByteArray>
#include <QString>

#include <openssl/crypto.h>

#include <cstddef>
#include <utility>

inline void wipe(void* data, std::size_t size)
{
    if (data && size)
        OPENSSL_cleanse(data, size);
}

// The whole allocation, not only the bytes in use: a shrunk array keeps
// what it held beyond its size.
inline void wipe(QByteArray& bytes)
{
    if (bytes.isDetached() && bytes.capacity() > 0)
        wipe(const_cast<char*>(bytes.constData()), std::size_t(bytes.capacity()));
    bytes.clear();
}

inline void wipe(QString& text)
{
    if (text.isDetached() && text.capacity() > 0)
        wipe(const_cast<QChar*>(text.constData()), std::size_t(text.capacity()) * sizeof(QChar));
    text.clear();
}

// Bytes that wipe themselves when they go or are replaced. Copies are
// deep; a QByteArray taken from bytes() shares the buffer, and whoever
// takes one must not let it outlive this object.
class SecretBytes {
public:
    SecretBytes() = default;
    // Takes the array's buffer over.
    SecretBytes(QByteArray&& bytes) noexcept : m_bytes(std::move(bytes)) {}
    explicit SecretBytes(const QByteArray& bytes) : m_bytes(bytes.constData(), bytes.size()) {}
    SecretBytes(const SecretBytes& other) : m_bytes(other.m_bytes.constData(), other.m_bytes.size()) {}
    SecretBytes& operator=(const SecretBytes& other)
    {
        if (this != &other)
            assign(other.m_bytes);
        return *this;
    }
    SecretBytes& operator=(QByteArray&& bytes)
    {
        wipe(m_bytes);
        m_bytes = std::move(bytes);
        return *this;
    }
    ~SecretBytes() { wipe(m_bytes); }

    // A deep copy of the bytes in place of the old ones, which are wiped.
    void assign(const QByteArray& bytes)
    {
        QByteArray copy(bytes.constData(), bytes.size());
        wipe(m_bytes);
        m_bytes.swap(copy);
    }
    void clear() { wipe(m_bytes); }

    // For functions that read or fill a QByteArray.
    const QByteArray& bytes() const { return m_bytes; }
    QByteArray& bytes() { return m_bytes; }
    operator const QByteArray&() const { return m_bytes; }

    bool isEmpty() const { return m_bytes.isEmpty(); }
    int size() const { return m_bytes.size(); }
    const char* constData() const { return m_bytes.constData(); }

private:
    QByteArray m_bytes;
};

#pragma once
// Overwriting secrets (keys, passwords, deciphered content, what described a
// person) before their memory is given back, in a way the compiler may not
// drop as a dead store.
//
// Qt's containers share their data: a copy that shares is no second copy,
// and the buffer is wiped by whichever owner lets it go last. A buffer that
// another owner still holds is left to that owner. Always the whole
// allocation, not only the part in use: a shrunk array keeps what it held
// beyond its size.

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <type_traits>
#include <utility>
#include <vector>

namespace Nb {

class Matrix;

void wipe(void* data, std::size_t size);

// The whole allocation of the array, whoever else shares it; the caller
// knows that no one still needs it. Size and sharing stay as they were.
void wipeInPlace(const QByteArray& bytes);
void wipeInPlace(const QString& text);

// Wiped when no one else holds the buffer, then emptied.
void wipe(QByteArray& bytes);
void wipe(QString& text);

// Every cell the matrix holds, up to its capacity; the matrix keeps its
// layout.
void wipe(Matrix& matrix);

// Every element up to the capacity, then emptied.
template <class T>
void wipe(std::vector<T>& items)
{
    static_assert(std::is_trivially_copyable<T>::value, "only plain values are wiped as bytes");
    items.resize(items.capacity()); // within the capacity: nothing moves
    wipe(items.data(), items.size() * sizeof(T));
    items.clear();
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

} // namespace Nb

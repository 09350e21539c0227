#pragma once
// The encrypted store file and its key.
//
// File: three streamed byte arrays (big-endian QDataStream defaults):
// check value = SHA-1(key + salt), 16 random salt bytes, and the payload
// enciphered with RC4 under the key. The plain payload streams two maps,
// the category descriptors and the cards by category.

#include <QByteArray>
#include <QCryptographicHash>
#include <QIODevice>
#include <QMap>
#include <QString>

typedef QMap<QString, QString> FieldMap;  // field label -> text
typedef QMap<QString, FieldMap> CardMap;  // name -> card or descriptor
typedef QMap<QString, CardMap> FolderMap; // category -> its cards

// Digest by Qt's algorithm number (2 = SHA-1): through libcrypto, which
// wipes its state, where it has the algorithm, else QCryptographicHash.
class Hash {
public:
    explicit Hash(int algorithm);

    QByteArray hash(const QByteArray& data) const;
    QByteArray hash(const QString& text) const; // over the UTF-8 bytes
    QByteArray hash(const QByteArray& a, const QByteArray& b) const; // a then b

private:
    QCryptographicHash m_hash;
    int m_algorithm;
};

// Symmetric cipher over libcrypto; algorithm 0 is RC4, the only one known.
class Cipher {
public:
    explicit Cipher(int algorithm);
    ~Cipher();
    Cipher(const Cipher&) = delete;
    Cipher& operator=(const Cipher&) = delete;

    // Output is replaced; throw std::invalid_argument for an unknown algorithm.
    void encrypt(const QByteArray& input, const QByteArray& key, QByteArray& output) const;
    void decrypt(const QByteArray& input, const QByteArray& key, QByteArray& output) const;

    // bits / 8 bytes from the cryptographic generator; false (and an empty
    // output) when the generator fails.
    static bool randomBytes(QByteArray& output, int bits);

private:
    int m_algorithm;
};

class Repository {
public:
    // What a read found, beside its bool result, so that a damaged store is
    // never mistaken for a new one.
    enum Status {
        StOk,       // key right, content read (and parsed)
        StEmpty,    // key right, payload of length 0 (a new store)
        StMissing,  // no path, no key, no file, or the file does not open
        StWrongKey, // the key does not match the check value
        StDamaged   // truncated or malformed file or payload
    };

    explicit Repository(const QString& path = QString());

    static QString defaultPath();
    static QByteArray keyFromPassword(const QString& password);

    QString path() const { return m_path; }
    bool exists() const;

    bool isRightMainKey(const QByteArray& key, Status* status = nullptr) const;
    bool isRightMainKey(const QString& password) const;

    bool read(const QByteArray& key, QByteArray& payload, Status* status = nullptr) const;
    bool write(const QByteArray& key, const QByteArray& payload) const;
    bool read(const QByteArray& key, CardMap& descr, FolderMap& safe, Status* status = nullptr) const;
    bool write(const QByteArray& key, const CardMap& descr, const FolderMap& safe) const;

    // The readers above over an open device that holds a store file's bytes,
    // and the plain payload's reader (true when both maps hold an entry): the
    // members open the file at path() and call these, so that the same code
    // reads from memory.
    static bool isRightMainKey(QIODevice& file, const QByteArray& key, Status* status = nullptr);
    static bool read(QIODevice& file, const QByteArray& key, QByteArray& payload, Status* status = nullptr);
    // The same over a whole store file's bytes, which are only read: the
    // payload is deciphered straight out of them, with no copy made first.
    static bool readBytes(const QByteArray& fileBytes, const QByteArray& key, QByteArray& payload,
                          Status* status = nullptr);
    static bool readContent(const QByteArray& payload, CardMap& descr, FolderMap& safe, Status* status = nullptr);

    bool changeKey(const QByteArray& oldKey, const QByteArray& newKey) const;
    bool changeKey(const QString& oldPassword, const QString& newPassword) const;

    bool makeMainPsw(const QString& password) const;
    bool erase() const;
    // Overwrites the file in place with the array's stream form.
    bool write(const QByteArray& input1) const;

    bool saveBackup(const QString& target) const;
    static bool restoreBackup(const QString& source, const QString& target);

    // Replaces the store at once by a copy of another store file; false,
    // with the store as it was, when the source is the store itself, is no
    // well-formed store, or cannot be copied whole.
    bool replaceFrom(const QString& source) const;

private:
    struct Fields;
    // bytes: the file, or its head; fileSize: the whole file's.
    static Status readFields(const QByteArray& bytes, qint64 fileSize, Fields& f);

    QString m_path;
};

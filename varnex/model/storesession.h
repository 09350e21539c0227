#pragma once
// The open store as the main window holds it: the key, the category
// descriptors and the cards, read whole and written whole. Cards change
// in memory one at a time, and each change is remembered until it is
// written. A write first looks at the file: when another program has
// changed it since this session read or wrote it, the file is read again
// and only this session's own changes go on top of it, so that no save
// drops another program's.

#include "varnex/model/repository.h"
#include "qtnb/Wipe.h"

#include <QByteArray>
#include <QString>
#include <QVector>

class StoreSession {
public:
    // What a write came to.
    enum Outcome {
        OcWritten,     // the file holds the content
        OcNameTaken,   // the last change was dropped: another program stored
                       // another card of the category under its name
        OcKeyChanged,  // the key no longer opens the file: nothing written
        OcWriteFailed, // the file could not be written; the content stays in memory
        OcNoStore      // no store open: nothing written
    };

    explicit StoreSession(const QString& path = QString());
    ~StoreSession();
    StoreSession(const StoreSession&) = delete;
    StoreSession& operator=(const StoreSession&) = delete;

    const Repository& repository() const { return m_repository; }
    bool exists() const { return m_repository.exists(); }

    // The key of the store; it is taken as it is, checked by whoever asked
    // the user for it.
    const QByteArray& key() const { return m_key.bytes(); }
    void setKey(const QByteArray& key);
    bool isOpen() const { return !m_key.isEmpty(); }

    // Reads the whole store with the key; unwritten changes are dropped.
    // Anything but StOk or StEmpty
    // (a damaged store) closes the session, so that nothing is ever written
    // over that file from here.
    Repository::Status open();
    // Forgets the key and the content, wiping both.
    void close();

    // A card stored under its name in a category, replacing the card named
    // oldName (null for a new card); false, with nothing changed, when
    // another card of the category has that name.
    bool saveCard(const QString& category, const QString& oldName, const QString& name, const FieldMap& card);
    // A card removed; a category whose last card goes loses its folder.
    void deleteCard(const QString& category, const QString& name);

    // The whole content to the file under the key, the other program's
    // changes taken in first.
    Outcome write();

    CardMap descr;  // category descriptors by category name
    FolderMap safe; // the cards of each category by card name

private:
    struct Change {
        QString category;
        QString oldName; // the card replaced; null for a new card
        QString name;    // null for a deletion
        FieldMap card;
        FieldMap descriptor; // of the category, for a store that lacks it
    };
    // Applies a change to the maps; false when another card of the category
    // has its name. Over another program's content the same card under that
    // name counts as this one.
    static bool apply(const Change& change, CardMap& descr, FolderMap& safe, bool merging);
    // The store file's bytes; false when it does not open.
    bool readFile(QByteArray& bytes) const;
    Repository::Status readFrom(const QByteArray& bytes, CardMap& descr, FolderMap& safe) const;
    // The card texts wiped where no one else holds them, then the maps emptied.
    void wipeContent();

    Repository m_repository;
    Nb::SecretBytes m_key;
    QVector<Change> m_pending; // changes not written yet, in order
    // The file's bytes as last read or written, compared whole before a
    // write: enciphered, so nothing secret, and no digest of megabytes to
    // make at every unlock.
    QByteArray m_seen;
};

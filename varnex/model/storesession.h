#pragma once
// The open store as the main window holds it: the key, the category
// descriptors and the cards, read whole and written whole. Cards change
// in memory one at a time; a write first makes sure that the key still
// opens the file.

#include "varnex/model/repository.h"
#include "varnex/model/wipe.h"

#include <QByteArray>
#include <QString>

class StoreSession {
public:
    // What a write came to.
    enum Outcome {
        OcWritten,     // the file holds the content
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

    // Reads the whole store with the key. Anything but StOk or StEmpty
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

    // The whole content to the file under the key.
    Outcome write();

    CardMap descr;  // category descriptors by category name
    FolderMap safe; // the cards of each category by card name

private:
    // The card texts wiped where no one else holds them, then the maps emptied.
    void wipeContent();

    Repository m_repository;
    SecretBytes m_key;
};

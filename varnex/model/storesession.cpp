#include "varnex/model/storesession.h"

StoreSession::StoreSession(const QString& path) : m_repository(path) {}

StoreSession::~StoreSession()
{
    close();
}

void StoreSession::setKey(const QByteArray& key)
{
    m_key.assign(key);
}

Repository::Status StoreSession::open()
{
    wipeContent();
    Repository::Status status = Repository::StMissing;
    m_repository.read(m_key, descr, safe, &status);
    if (status != Repository::StOk && status != Repository::StEmpty)
        close();
    return status;
}

void StoreSession::close()
{
    wipeContent();
    m_key.clear();
}

void StoreSession::wipeContent()
{
    // Read-only walks, so that no shared map is copied on the way; a map or
    // text that another owner (a card widget) still holds is left to it.
    if (safe.isDetached())
        for (const CardMap& folder : qAsConst(safe))
            if (folder.isDetached())
                for (const FieldMap& card : folder)
                    if (card.isDetached())
                        for (const QString& text : card)
                            if (text.isDetached() && text.capacity() > 0)
                                wipe(const_cast<QChar*>(text.constData()), size_t(text.capacity()) * sizeof(QChar));
    safe.clear();
    descr.clear();
}

bool StoreSession::saveCard(const QString& category, const QString& oldName, const QString& name,
                            const FieldMap& card)
{
    const FolderMap::iterator folder = safe.find(category);
    if (folder != safe.end() && name != oldName && folder->contains(name))
        return false;
    CardMap& cards = folder != safe.end() ? *folder : safe[category];
    if (!oldName.isNull())
        cards.remove(oldName);
    cards.insert(name, card);
    return true;
}

void StoreSession::deleteCard(const QString& category, const QString& name)
{
    const FolderMap::iterator folder = safe.find(category);
    if (folder == safe.end())
        return;
    folder->remove(name);
    if (folder->isEmpty())
        safe.erase(folder);
}

StoreSession::Outcome StoreSession::write()
{
    if (!isOpen())
        return OcNoStore;
    // A key that no longer opens the file (the master password was changed
    // elsewhere) must not write it; any other reading failure (a file gone
    // or damaged) is written over.
    Repository::Status status = Repository::StOk;
    if (!m_repository.isRightMainKey(m_key, &status) && status == Repository::StWrongKey)
        return OcKeyChanged;
    return m_repository.write(m_key, descr, safe) ? OcWritten : OcWriteFailed;
}

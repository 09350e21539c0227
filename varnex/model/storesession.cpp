#include "varnex/model/storesession.h"

#include <QDebug>
#include <QFile>
#include <QLockFile>

namespace {

constexpr qint64 MaxFileSize = 1ll << 30; // far above any store
constexpr int LockWaitMs = 5000;

} // namespace

StoreSession::StoreSession(const QString& path) : m_repository(path) {}

StoreSession::~StoreSession()
{
    close();
}

void StoreSession::setKey(const QByteArray& key)
{
    m_key.assign(key);
}

bool StoreSession::readFile(QByteArray& bytes) const
{
    QFile file(m_repository.path());
    if (!file.open(QIODevice::ReadOnly))
        return false;
    bytes = file.size() <= MaxFileSize ? file.readAll() : QByteArray();
    return true;
}

Repository::Status StoreSession::readFrom(const QByteArray& bytes, CardMap& d, FolderMap& s) const
{
    Nb::SecretBytes payload;
    Repository::Status status = Repository::StMissing;
    if (Repository::readBytes(bytes, m_key, payload.bytes(), &status))
        Repository::readContent(payload, d, s, &status);
    return status;
}

Repository::Status StoreSession::open()
{
    wipeContent();
    m_pending.clear();
    QByteArray bytes;
    const Repository::Status status =
        !m_key.isEmpty() && readFile(bytes) ? readFrom(bytes, descr, safe) : Repository::StMissing;
    if (status != Repository::StOk && status != Repository::StEmpty)
        close();
    else
        m_seen = bytes;
    qDebug() << "StoreSession::open" << "status:" << status;
    return status;
}

void StoreSession::close()
{
    m_pending.clear(); // first: its cards share texts with the maps
    wipeContent();
    m_key.clear();
    m_seen.clear();
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
                            if (text.isDetached())
                                Nb::wipeInPlace(text);
    safe.clear();
    descr.clear();
}

bool StoreSession::apply(const Change& change, CardMap& d, FolderMap& s, bool merging)
{
    const FolderMap::iterator folder = s.find(change.category);
    if (change.name.isNull()) {
        if (folder != s.end()) {
            folder->remove(change.oldName);
            if (folder->isEmpty())
                s.erase(folder);
        }
        return true;
    }
    if (folder != s.end() && change.name != change.oldName && folder->contains(change.name)
        && (!merging || folder->value(change.name) != change.card))
        return false;
    if (!d.contains(change.category) && !change.descriptor.isEmpty())
        d.insert(change.category, change.descriptor);
    CardMap& cards = folder != s.end() ? *folder : s[change.category];
    if (!change.oldName.isNull())
        cards.remove(change.oldName);
    cards.insert(change.name, change.card);
    return true;
}

bool StoreSession::saveCard(const QString& category, const QString& oldName, const QString& name,
                            const FieldMap& card)
{
    const Change change{category, oldName, name, card, descr.value(category)};
    if (!apply(change, descr, safe, false))
        return false;
    m_pending.append(change);
    return true;
}

void StoreSession::deleteCard(const QString& category, const QString& name)
{
    const Change change{category, name, QString(), FieldMap(), FieldMap()};
    apply(change, descr, safe, false);
    m_pending.append(change);
}

StoreSession::Outcome StoreSession::write()
{
    if (!isOpen())
        return OcNoStore;
    // Another copy of the program waits here while this one checks and
    // writes, and the other way round, so that no write slips in between.
    QLockFile lock(m_repository.path() + QLatin1String(".lock"));
    // A write holds it for milliseconds: an older lock was left by a copy
    // that died, even one that died before it could say who it was.
    lock.setStaleLockTime(LockWaitMs / 2);
    if (!lock.tryLock(LockWaitMs)) {
        qDebug() << "StoreSession::write" << "the store stays locked by" << lock.error();
        return OcWriteFailed;
    }
    QByteArray bytes;
    bool lastTaken = false;
    if (readFile(bytes) && bytes != m_seen) {
        CardMap d;
        FolderMap s;
        const Repository::Status status = readFrom(bytes, d, s);
        // A key that no longer opens the file (the master password was
        // changed elsewhere) must not write it.
        if (status == Repository::StWrongKey)
            return OcKeyChanged;
        // A damaged file is written over with this session's content.
        if (status == Repository::StOk || status == Repository::StEmpty) {
            if (d.isEmpty())
                d = descr; // a store without categories yet takes these
            for (int i = 0; i < m_pending.size(); ++i)
                if (!apply(m_pending.at(i), d, s, true)) {
                    lastTaken = i == m_pending.size() - 1;
                    m_pending.remove(i--);
                }
            qDebug() << "StoreSession::write" << "changed by another program; changes put on top:"
                     << m_pending.size();
            wipeContent();
            descr.swap(d);
            safe.swap(s);
            if (m_pending.isEmpty()) {
                m_seen = bytes;
                return lastTaken ? OcNameTaken : OcWritten;
            }
        }
    }
    if (!m_repository.write(m_key, descr, safe))
        return OcWriteFailed;
    m_pending.clear();
    m_seen = readFile(bytes) ? bytes : QByteArray();
    return lastTaken ? OcNameTaken : OcWritten;
}

#include "varnex/model/repository.h"

Hash::Hash(int algorithm)
    : m_hash(QCryptographicHash::Algorithm(algorithm)), m_algorithm(algorithm)
{
}

QByteArray Hash::hash(const QByteArray& data) const
{
    return QCryptographicHash::hash(data, QCryptographicHash::Algorithm(m_algorithm));
}

QByteArray Hash::hash(const QString& text) const
{
    return hash(text.toUtf8());
}

QByteArray Hash::hash(const QByteArray& a, const QByteArray& b) const
{
    QByteArray joined(a);
    joined.append(b);
    return hash(joined);
}

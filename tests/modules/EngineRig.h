#pragma once
// What the modules' recognition tests share: a key trained into a
// container and taken out again with the engine the runtime found.

#include <QByteArray>
#include <QList>

#include "nb-cpp/Dispatcher.h"
#include "nb-cpp/Nbc.h"
#include "nb-cpp/Ulvar.h"

namespace modrig {

// The container, trained to give key for the owner's parameters and not for
// the strangers', in its stored bytes; empty when the engine refused.
inline QByteArray train(Dispatcher& dispatcher, Nbc& nbc, const QByteArray& key, QList<Nb::Matrix*> owns,
                        QList<Nb::Matrix*> aliens)
{
    Nbc holder;
    holder.setCode(key);
    Nb::Matrix code;
    holder.codeMatrix(code);
    Ulvar ulvar;
    QByteArray stored;
    if (!dispatcher.getUlvar(&ulvar, nullptr) || !ulvar.train(nbc, owns, aliens, &code, nullptr) ||
        !nbc.toBytes(stored))
        return QByteArray();
    return stored;
}

// The keySize-byte key the container gives for the inputs' parameters;
// empty when the engine refused.
inline QByteArray extract(Dispatcher& dispatcher, Nbc& nbc, int keySize, QList<Nb::Matrix*> inputs)
{
    Nbc holder;
    holder.setCode(QByteArray(keySize, '\0'));
    Nb::Matrix code;
    holder.codeMatrix(code);
    Ulvar ulvar;
    QByteArray key;
    if (dispatcher.getUlvar(&ulvar, nullptr) && ulvar.extract(nbc, code, inputs)) {
        holder.setCodeMatrix(code);
        holder.code(key);
    }
    return key;
}

} // namespace modrig

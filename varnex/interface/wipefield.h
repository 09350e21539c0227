#pragma once
// Empties a password field so that what was typed leaves no copy behind.

#include "qtnb/Wipe.h"

#include <QLineEdit>
#include <QString>

inline void wipeText(QLineEdit* edit)
{
    // text() shares the field's own buffer: it is overwritten in place.
    Nb::wipeInPlace(edit->text());
    // The undo history holds every typed character. Emptied by setText, it
    // keeps its memory, which the filler's characters (one entry each,
    // taken back out by the validator or the second setText) overwrite
    // from the first entry on.
    edit->setText(QString());
    edit->insert(QString(1024, QLatin1Char('0')));
    edit->setText(QString());
    // A password field reserves room for its text so that typing does not
    // move it (and leave parts behind); setting the echo mode does that.
    const QLineEdit::EchoMode mode = edit->echoMode();
    if (mode != QLineEdit::Normal) {
        edit->setEchoMode(QLineEdit::Normal);
        edit->setEchoMode(mode);
    }
}

#pragma once
// The error object of the biometric runtime: one user-facing message,
// thrown and caught by value.

#include <QString>

class Exception {
public:
    // text is UTF-8; a null pointer gives an empty message.
    Exception(const char* text);
    ~Exception();

    QString message;
};

// Modal critical box titled "Ошибка" showing the text (not part of varnex).
void showError(QString text);

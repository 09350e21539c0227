#pragma once
// The message of the error object that a call throws; empty when it throws
// none.

#include <QString>

template <typename Error, typename Call>
QString thrown(Call&& call)
{
    try {
        call();
    } catch (const Error& e) {
        return e.message;
    }
    return QString();
}

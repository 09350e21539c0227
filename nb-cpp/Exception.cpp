#include "nb-cpp/Exception.h"

#include <cstring>

Exception::Exception(const char* text)
    : message(text ? QString::fromUtf8(text, int(std::strlen(text))) : QString())
{
}

Exception::~Exception() = default;

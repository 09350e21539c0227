#pragma once
// Included by every fuzz target once: sets the process up before the first
// input. Nearly every input fails a check, and every failed check writes a
// debug line; with debug output switched off for the default category the
// readers format none of them, where formatting them cost more than the
// reading. Anything else Qt prints is dropped.

#include <QLoggingCategory>
#include <QString>
#include <QtGlobal>

namespace fuzz {

inline void drop(QtMsgType, const QMessageLogContext&, const QString&) {}

inline void debugOff(QLoggingCategory* category)
{
    if (qstrcmp(category->categoryName(), "default") == 0)
        category->setEnabled(QtDebugMsg, false);
}

} // namespace fuzz

// AddressSanitizer's defaults are made for programs, not for millions of
// short runs: a 256 MB quarantine hands every allocation fresh memory, so
// most of the time went to page faults, and every allocation recorded thirty
// frames. A freed block still stays poisoned for the next 32 MB of frees,
// more than one input of these readers frees. ASAN_OPTIONS overrides.
extern "C" const char* __asan_default_options()
{
    return "quarantine_size_mb=32:malloc_context_size=10";
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    qInstallMessageHandler(fuzz::drop);
    QLoggingCategory::installFilter(fuzz::debugOff);
    return 0;
}

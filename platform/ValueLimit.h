#pragma once

#include <QString>
#include <QtGlobal>

// The longest single value (a string, a key, an attribute) taken from a file
// or an answer the program did not write itself: a library export, a
// description file on the share, a server's SOAP answer. The longest real
// values are file locations (PATH_MAX, 4 KiB, percent-encoded: 12 KiB); a
// cap of 1 MiB leaves them a wide margin yet keeps the few copies each value
// goes through (UTF-8, UTF-16, the library file's line, a log line) within
// some megabytes. An item holding a longer value is refused and reported.
struct ValueLimit {
    static constexpr qsizetype Bytes = qsizetype(1) << 20;
    // "1 MiB", for the reports.
    static QString text() { return QStringLiteral("1 MiB"); }
};

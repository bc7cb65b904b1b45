#pragma once

#include <QByteArray>
#include <QString>

// A TSV field: the backslash and every control character (the tab and the
// line breaks among them) written as escapes, so that every record is one
// line of fields and nothing in it acts on the terminal.
QByteArray tsvField(const QString &text);

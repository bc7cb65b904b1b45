#pragma once

#include <QByteArray>
#include <QString>

// A TSV field: the tab, the line breaks and the backslash written as
// escapes, so that every record is one line of fields.
QByteArray tsvField(const QString &text);

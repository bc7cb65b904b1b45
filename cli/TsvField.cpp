#include "cli/TsvField.h"

QByteArray tsvField(const QString &text)
{
    QByteArray field;
    for (const char byte : text.toUtf8()) {
        switch (byte) {
        case '\t': field += "\\t"; break;
        case '\n': field += "\\n"; break;
        case '\r': field += "\\r"; break;
        case '\\': field += "\\\\"; break;
        default: field += byte; break;
        }
    }
    return field;
}

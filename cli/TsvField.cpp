#include "cli/TsvField.h"

#include "platform/ControlCharacters.h"

QByteArray tsvField(const QString &text)
{
    // The backslash first, so that the escapes added after it stay single.
    QString field = text;
    field.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    return ControlCharacters::escaped(field).toUtf8();
}

#include "platform/ControlCharacters.h"

namespace {

bool isControl(char16_t unit, ControlCharacters::Tabs tabs)
{
    if (unit == u'\t')
        return tabs == ControlCharacters::Tabs::Escaped;
    return unit < 0x20 || (unit >= 0x7f && unit <= 0x9f) || unit == 0x2028 || unit == 0x2029;
}

const char hexDigits[] = "0123456789abcdef";

void appendEscape(QString &out, char16_t unit)
{
    switch (unit) {
    case 0x07: out += QLatin1String("\\a"); return;
    case 0x08: out += QLatin1String("\\b"); return;
    case 0x09: out += QLatin1String("\\t"); return;
    case 0x0a: out += QLatin1String("\\n"); return;
    case 0x0b: out += QLatin1String("\\v"); return;
    case 0x0c: out += QLatin1String("\\f"); return;
    case 0x0d: out += QLatin1String("\\r"); return;
    case 0x1b: out += QLatin1String("\\e"); return;
    default: break;
    }
    if (unit <= 0x7f) {
        out += QLatin1String("\\x");
        out += QLatin1Char(hexDigits[unit >> 4]);
        out += QLatin1Char(hexDigits[unit & 0xf]);
        return;
    }
    out += QLatin1String("\\u");
    for (int shift = 12; shift >= 0; shift -= 4)
        out += QLatin1Char(hexDigits[(unit >> shift) & 0xf]);
}

} // namespace

bool ControlCharacters::contains(QStringView text, Tabs tabs)
{
    for (const QChar character : text) {
        if (isControl(character.unicode(), tabs))
            return true;
    }
    return false;
}

QString ControlCharacters::escaped(const QString &text, Tabs tabs)
{
    if (!contains(text, tabs))
        return text;
    QString out;
    out.reserve(text.size() + 16);
    for (const QChar character : text) {
        const char16_t unit = character.unicode();
        if (isControl(unit, tabs))
            appendEscape(out, unit);
        else
            out += character;
    }
    return out;
}

QString ControlCharacters::cut(const QString &text, qsizetype limit)
{
    if (text.size() <= limit)
        return text;
    qsizetype kept = limit;
    // Never half of a surrogate pair.
    if (kept > 0 && text.at(kept - 1).isHighSurrogate())
        --kept;
    return text.left(kept) + QStringLiteral("... (%1 more characters)").arg(text.size() - kept);
}

QString ControlCharacters::logLine(const QString &text, qsizetype limit)
{
    return escaped(cut(text, limit));
}

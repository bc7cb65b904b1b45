#include "xml/XmlText.h"

namespace {

inline bool needsWork(char16_t unit, const XmlText::Escaping &escaping)
{
    // Letters and most punctuation: the usual case, decided at once.
    if (unit > u'>' && unit < 0x7F)
        return false;
    switch (unit) {
    case u'&':
    case u'<':
    case u'>':
        return true;
    case u'"':
        return escaping.quotationMark;
    case u'\'':
        return escaping.apostrophe;
    case u'\t':
    case u'\n':
    case u'\r':
        return escaping.tabsAndLineBreaks;
    default:
        // Surrogates and U+FFFE/U+FFFF all sit at or above U+D800; the slow
        // path tells them from the allowed characters there.
        return escaping.dropInvalidCharacters && (unit < 0x20 || unit >= 0xD800);
    }
}

// The entity or character reference written for unit; null when it stays.
const char *reference(char16_t unit, const XmlText::Escaping &escaping)
{
    switch (unit) {
    case u'&':
        return "&amp;";
    case u'<':
        return "&lt;";
    case u'>':
        return "&gt;";
    case u'"':
        return escaping.quotationMark ? "&quot;" : nullptr;
    case u'\'':
        return escaping.apostrophe ? "&apos;" : nullptr;
    case u'\t':
        return escaping.tabsAndLineBreaks ? "&#9;" : nullptr;
    case u'\n':
        return escaping.tabsAndLineBreaks ? "&#10;" : nullptr;
    case u'\r':
        return escaping.tabsAndLineBreaks ? "&#13;" : nullptr;
    default:
        return nullptr;
    }
}

qsizetype firstNeedingWork(QStringView text, const XmlText::Escaping &escaping)
{
    qsizetype index = 0;
    while (index < text.size() && !needsWork(text[index].unicode(), escaping))
        ++index;
    return index;
}

// Writes the UTF-8 of one unit, or of the pair starting at index; answers the
// index of the last unit used.
inline qsizetype putUtf8(char *&write, QStringView text, qsizetype index)
{
    const char16_t unit = text[index].unicode();
    if (unit < 0x80) {
        *write++ = char(unit);
    } else if (unit < 0x800) {
        *write++ = char(0xC0 | (unit >> 6));
        *write++ = char(0x80 | (unit & 0x3F));
    } else if (!QChar::isSurrogate(unit)) {
        *write++ = char(0xE0 | (unit >> 12));
        *write++ = char(0x80 | ((unit >> 6) & 0x3F));
        *write++ = char(0x80 | (unit & 0x3F));
    } else if (QChar::isHighSurrogate(unit) && index + 1 < text.size() && text[index + 1].isLowSurrogate()) {
        const char32_t code = QChar::surrogateToUcs4(unit, text[++index].unicode());
        *write++ = char(0xF0 | (code >> 18));
        *write++ = char(0x80 | ((code >> 12) & 0x3F));
        *write++ = char(0x80 | ((code >> 6) & 0x3F));
        *write++ = char(0x80 | (code & 0x3F));
    } else {
        *write++ = '?';
    }
    return index;
}

// The one escaping rule. Hands text from start on (where the first unit
// needing work is) to the sink as runs kept
// as they are and references put in place of characters; dropped characters
// only end a run. A run never ends between the halves of a surrogate pair,
// and what it ends beside is a reference or a dropped character, so no pair
// forms across pieces that was not in text.
template <typename KeepRun, typename PutReference>
void escapePieces(QStringView text, qsizetype start, const XmlText::Escaping &escaping, KeepRun keepRun,
                  PutReference putReference)
{
    const qsizetype size = text.size();
    qsizetype runStart = start;
    for (qsizetype index = start; index < size; ++index) {
        const char16_t unit = text[index].unicode();
        if (!needsWork(unit, escaping))
            continue;
        if (const char *replacement = reference(unit, escaping)) {
            keepRun(text.sliced(runStart, index - runStart));
            putReference(replacement);
            runStart = index + 1;
            continue;
        }
        // Only dropInvalidCharacters leaves a unit needing work without a reference.
        if (QChar::isHighSurrogate(unit) && index + 1 < size && text[index + 1].isLowSurrogate()) {
            ++index;
            continue;
        }
        if (!XmlText::isXmlChar(unit)) {
            keepRun(text.sliced(runStart, index - runStart));
            runStart = index + 1;
        }
    }
    keepRun(text.sliced(runStart));
}

// UTF-8 as QString::toUtf8 writes it: an unpaired surrogate becomes '?'.
// Stops before the first unit needing work when escaping is given, and
// answers its index (the size when there is none).
qsizetype appendUtf8(QByteArray &out, QStringView text, const XmlText::Escaping *escaping = nullptr)
{
    const qsizetype size = text.size();
    const qsizetype oldSize = out.size();
    out.resize(oldSize + 3 * size); // at most 3 bytes per UTF-16 unit
    char *write = out.data() + oldSize;
    qsizetype index = 0;
    for (; index < size; ++index) {
        if (escaping && needsWork(text[index].unicode(), *escaping))
            break;
        index = putUtf8(write, text, index);
    }
    out.truncate(write - out.constData());
    return index;
}

} // namespace

QString XmlText::escaped(const QString &text, Escaping escaping)
{
    const qsizetype first = firstNeedingWork(text, escaping);
    if (first == text.size())
        return text;
    QString result;
    result.reserve(text.size() + 16);
    result.append(QStringView(text).first(first));
    escapePieces(
        text, first, escaping, [&result](QStringView run) { result.append(run); },
        [&result](const char *replacement) { result.append(QLatin1StringView(replacement)); });
    return result;
}

void XmlText::appendEscapedUtf8(QByteArray &out, QStringView text, Escaping escaping)
{
    // The text before the first unit needing work goes out as it is.
    const qsizetype first = appendUtf8(out, text, &escaping);
    if (first == text.size())
        return;
    escapePieces(
        text, first, escaping, [&out](QStringView run) { appendUtf8(out, run); },
        [&out](const char *replacement) { out.append(replacement); });
}

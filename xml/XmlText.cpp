#include "xml/XmlText.h"

namespace {

bool needsWork(char16_t unit, const XmlText::Escaping &escaping)
{
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
const char16_t *reference(char16_t unit, const XmlText::Escaping &escaping)
{
    switch (unit) {
    case u'&':
        return u"&amp;";
    case u'<':
        return u"&lt;";
    case u'>':
        return u"&gt;";
    case u'"':
        return escaping.quotationMark ? u"&quot;" : nullptr;
    case u'\'':
        return escaping.apostrophe ? u"&apos;" : nullptr;
    case u'\t':
        return escaping.tabsAndLineBreaks ? u"&#9;" : nullptr;
    case u'\n':
        return escaping.tabsAndLineBreaks ? u"&#10;" : nullptr;
    case u'\r':
        return escaping.tabsAndLineBreaks ? u"&#13;" : nullptr;
    default:
        return nullptr;
    }
}

} // namespace

QString XmlText::escaped(const QString &text, Escaping escaping)
{
    const qsizetype size = text.size();
    qsizetype index = 0;
    while (index < size && !needsWork(text.at(index).unicode(), escaping))
        ++index;
    if (index == size)
        return text;
    QString result;
    result.reserve(size + 16);
    result.append(QStringView(text).first(index));
    for (; index < size; ++index) {
        const QChar character = text.at(index);
        if (const char16_t *replacement = reference(character.unicode(), escaping)) {
            result.append(QStringView(replacement));
            continue;
        }
        if (escaping.dropInvalidCharacters) {
            if (character.isHighSurrogate() && index + 1 < size && text.at(index + 1).isLowSurrogate()) {
                result.append(character);
                result.append(text.at(++index));
                continue;
            }
            if (!isXmlChar(character.unicode()))
                continue;
        }
        result.append(character);
    }
    return result;
}

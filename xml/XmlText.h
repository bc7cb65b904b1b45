#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

// Text on its way into XML written by hand: which characters XML 1.0 can
// hold, and the escaping of element content and attribute values. Every
// writer of XML text goes through here. Which characters a writer escapes
// is part of its output format (the server reads those bytes), so each
// keeps its own choice of Escaping.
namespace XmlText {

struct Escaping {
    bool quotationMark = false; // " as &quot;
    bool apostrophe = false;    // ' as &apos;
    // Tab, LF and CR as &#9; &#10; &#13; (a reader turns them into spaces in
    // an attribute value otherwise).
    bool tabsAndLineBreaks = false;
    // Characters isXmlChar refuses, and unpaired surrogates, are left out.
    bool dropInvalidCharacters = false;
};

// Whether XML 1.0 allows the code point in a document: tab, LF, CR,
// U+0020..U+D7FF, U+E000..U+FFFD and U+10000..U+10FFFF.
constexpr bool isXmlChar(char32_t code)
{
    return code == 0x09 || code == 0x0A || code == 0x0D || (code >= 0x20 && code <= 0xD7FF) ||
           (code >= 0xE000 && code <= 0xFFFD) || (code >= 0x10000 && code <= 0x10FFFF);
}

// "&", "<" and ">" as entities, and what escaping adds. Text that needs
// nothing is returned as it is (a null string stays null).
QString escaped(const QString &text, Escaping escaping);

// Appends escaped(text, escaping) to out as UTF-8, byte for byte what
// toUtf8() of it gives (an unpaired surrogate left in becomes '?'), without
// a QString in between.
void appendEscapedUtf8(QByteArray &out, QStringView text, Escaping escaping);

// Element content: "&", "<" and ">" only.
inline QString escapeText(const QString &text)
{
    return escaped(text, {});
}

// An attribute value in quotation marks: "&", "<", ">" and '"'.
inline QString escapeAttribute(const QString &text)
{
    return escaped(text, {.quotationMark = true});
}

} // namespace XmlText

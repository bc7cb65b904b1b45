#pragma once

#include <QString>

#include <charconv>

// The lenient number and boolean readings of response texts, and the
// shortest decimal text of a floating-point value.
namespace SoapNumberText {

// The leading decimal integer of text (blanks, one sign, digits), saturated
// to [minimum, maximum]; 0 without digits.
qint64 leadingInteger(const QString &text, qint64 minimum, qint64 maximum);
// The leading floating-point number of text (blanks skipped, a "+" sign
// allowed); 0 when there is none.
double leadingDouble(const QString &text);
// True when, after blanks, an optional sign and leading zeros, the text
// starts with Y, y, T, t or a digit 1 to 9.
bool leadingBoolean(const QString &text);

template <typename Number>
QString shortestText(Number value)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return QString::fromLatin1(buffer, result.ptr - buffer);
}

} // namespace SoapNumberText

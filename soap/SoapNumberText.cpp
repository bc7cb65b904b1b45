#include "soap/SoapNumberText.h"

#include <QByteArray>

#include <limits>

namespace {

bool isSpace(QChar character)
{
    return character == u' ' || character == u'\t' || character == u'\n' || character == u'\r' ||
           character == u'\v' || character == u'\f';
}

} // namespace

namespace SoapNumberText {

qint64 leadingInteger(const QString &text, qint64 minimum, qint64 maximum)
{
    qsizetype position = 0;
    const qsizetype length = text.size();
    while (position < length && isSpace(text.at(position)))
        ++position;
    bool negative = false;
    if (position < length && (text.at(position) == u'+' || text.at(position) == u'-')) {
        negative = text.at(position) == u'-';
        ++position;
    }
    // Accumulate as a negative number so the minimum itself fits.
    qint64 value = 0;
    bool saturated = false;
    while (position < length && text.at(position) >= u'0' && text.at(position) <= u'9') {
        const int digit = text.at(position).unicode() - u'0';
        if (!saturated) {
            if (value < (std::numeric_limits<qint64>::min() + digit) / 10)
                saturated = true;
            else
                value = value * 10 - digit;
        }
        ++position;
    }
    if (saturated)
        return negative ? minimum : maximum;
    if (negative)
        return value < minimum ? minimum : value;
    if (value == std::numeric_limits<qint64>::min())
        return maximum;
    return -value > maximum ? maximum : -value;
}

double leadingDouble(const QString &text)
{
    qsizetype position = 0;
    while (position < text.size() && isSpace(text.at(position)))
        ++position;
    QByteArray ascii;
    ascii.reserve(text.size() - position);
    for (qsizetype i = position; i < text.size(); ++i) {
        const char16_t character = text.at(i).unicode();
        if (character > 0x7f)
            break;
        ascii.append(static_cast<char>(character));
    }
    const char *begin = ascii.constData();
    const char *end = begin + ascii.size();
    if (begin != end && *begin == '+')
        ++begin;
    double value = 0;
    const auto result = std::from_chars(begin, end, value);
    if (result.ec == std::errc::result_out_of_range) {
        // Too large or too small for a double: infinity or zero, keeping the sign.
        const bool negative = begin != end && *begin == '-';
        const char *mantissa = begin + (negative ? 1 : 0);
        bool tiny = false;
        for (const char *p = mantissa; p != end; ++p) {
            if (*p == 'e' || *p == 'E') {
                tiny = p + 1 != end && p[1] == '-';
                break;
            }
        }
        const double magnitude = tiny ? 0.0 : std::numeric_limits<double>::infinity();
        return negative ? -magnitude : magnitude;
    }
    if (result.ec != std::errc())
        return 0;
    return value;
}

bool leadingBoolean(const QString &text)
{
    qsizetype position = 0;
    while (position < text.size() && isSpace(text.at(position)))
        ++position;
    if (position < text.size() && (text.at(position) == u'+' || text.at(position) == u'-'))
        ++position;
    while (position < text.size() && text.at(position) == u'0')
        ++position;
    if (position >= text.size())
        return false;
    const QChar first = text.at(position);
    return first == u'Y' || first == u'y' || first == u'T' || first == u't' || (first >= u'1' && first <= u'9');
}

} // namespace SoapNumberText

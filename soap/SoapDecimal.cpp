#include "soap/SoapDecimal.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace {

bool isDigit(QChar character)
{
    return character >= u'0' && character <= u'9';
}

} // namespace

SoapDecimal SoapDecimal::fromString(const QString &text)
{
    SoapDecimal decimal;
    qsizetype position = 0;
    const qsizetype length = text.size();
    while (position < length && text.at(position).isSpace())
        ++position;
    bool negative = false;
    if (position < length && (text.at(position) == u'+' || text.at(position) == u'-')) {
        negative = text.at(position) == u'-';
        ++position;
    }
    QString digits;
    int exponent = 0;
    bool sawDigit = false;
    while (position < length && isDigit(text.at(position))) {
        digits.append(text.at(position++));
        sawDigit = true;
    }
    if (position < length && text.at(position) == u'.') {
        ++position;
        while (position < length && isDigit(text.at(position))) {
            digits.append(text.at(position++));
            --exponent;
            sawDigit = true;
        }
    }
    if (!sawDigit)
        return decimal;
    if (position < length && (text.at(position) == u'e' || text.at(position) == u'E')) {
        qsizetype exponentPosition = position + 1;
        bool exponentNegative = false;
        if (exponentPosition < length && (text.at(exponentPosition) == u'+' || text.at(exponentPosition) == u'-')) {
            exponentNegative = text.at(exponentPosition) == u'-';
            ++exponentPosition;
        }
        if (exponentPosition < length && isDigit(text.at(exponentPosition))) {
            long long written = 0;
            while (exponentPosition < length && isDigit(text.at(exponentPosition))) {
                if (written < 100000)
                    written = written * 10 + (text.at(exponentPosition).unicode() - u'0');
                ++exponentPosition;
            }
            // Beyond any sensible magnitude: not a number rather than a huge text.
            if (written >= 100000)
                return decimal;
            exponent += static_cast<int>(exponentNegative ? -written : written);
        }
    }
    qsizetype firstNonZero = 0;
    while (firstNonZero < digits.size() - 1 && digits.at(firstNonZero) == u'0')
        ++firstNonZero;
    digits = digits.mid(firstNonZero);
    // Trailing zeros move into the exponent so equal values compare equal.
    while (digits.size() > 1 && digits.endsWith(u'0')) {
        digits.chop(1);
        ++exponent;
    }
    if (exponent > 100000 || exponent < -100000)
        return decimal;
    if (digits == u"0") {
        exponent = 0;
        negative = false;
    }
    decimal.m_valid = true;
    decimal.m_negative = negative;
    decimal.m_digits = digits;
    decimal.m_exponent = exponent;
    return decimal;
}

// The shortest text that reads back as the same value, in its type.
template <typename Number>
SoapDecimal SoapDecimal::fromBinary(Number value)
{
    if (!std::isfinite(value))
        return SoapDecimal();
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return fromString(QString::fromLatin1(buffer, result.ptr - buffer));
}

SoapDecimal SoapDecimal::fromFloat(float value)
{
    return fromBinary(value);
}

SoapDecimal SoapDecimal::fromDouble(double value)
{
    return fromBinary(value);
}

QString SoapDecimal::toString() const
{
    if (!m_valid)
        return QStringLiteral("NaN");
    QString text;
    if (m_negative)
        text.append(u'-');
    if (m_exponent >= 0) {
        text.append(m_digits);
        if (m_digits != u"0")
            text.append(QString(m_exponent, u'0'));
        return text;
    }
    const qsizetype fractionLength = -static_cast<qsizetype>(m_exponent);
    if (m_digits.size() > fractionLength) {
        text.append(m_digits.left(m_digits.size() - fractionLength));
        text.append(u'.');
        text.append(m_digits.right(fractionLength));
    } else {
        text.append(QStringLiteral("0."));
        text.append(QString(fractionLength - m_digits.size(), u'0'));
        text.append(m_digits);
    }
    return text;
}

double SoapDecimal::toDouble() const
{
    if (!m_valid)
        return std::numeric_limits<double>::quiet_NaN();
    const QByteArray text = (m_negative ? QByteArrayLiteral("-") : QByteArray()) + m_digits.toLatin1() + 'e' +
                            QByteArray::number(m_exponent);
    double value = 0;
    std::from_chars(text.constData(), text.constData() + text.size(), value);
    return value;
}

bool SoapDecimal::operator==(const SoapDecimal &other) const
{
    if (!m_valid || !other.m_valid)
        return false;
    return m_negative == other.m_negative && m_digits == other.m_digits && m_exponent == other.m_exponent;
}

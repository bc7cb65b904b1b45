#pragma once

#include <QMetaType>
#include <QString>

// A decimal number kept as exact decimal digits (no binary rounding):
// a sign, the digits and a power-of-ten exponent. Text that holds no
// number gives the not-a-number decimal.
class SoapDecimal {
public:
    // Not a number.
    SoapDecimal() = default;

    // The leading number of text: optional blanks and sign, digits with an
    // optional fraction, an optional exponent ("1.50", "-2e3", " +7 kg").
    static SoapDecimal fromString(const QString &text);
    // The shortest decimal text that reads back as the same float.
    static SoapDecimal fromFloat(float value);
    static SoapDecimal fromDouble(double value);

    bool isNaN() const { return !m_valid; }
    // Plain decimal text without exponent ("NaN" when not a number):
    // "-12.5", "0.001", "300".
    QString toString() const;
    double toDouble() const;

    bool operator==(const SoapDecimal &other) const;

private:
    template <typename Number>
    static SoapDecimal fromBinary(Number value);

    bool m_valid = false;
    bool m_negative = false;
    QString m_digits; // no leading zeros; "0" for zero
    int m_exponent = 0; // value = digits * 10^exponent
};

Q_DECLARE_METATYPE(SoapDecimal)

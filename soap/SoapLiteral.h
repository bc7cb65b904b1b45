#pragma once

#include <QMetaType>
#include <QString>

// Text that goes into a SOAP header exactly as given (no escaping).
class SoapLiteral {
public:
    SoapLiteral() = default;
    explicit SoapLiteral(QString value) : m_value(std::move(value)) {}

    static SoapLiteral literalWithString(const QString &value) { return SoapLiteral(value); }

    const QString &value() const { return m_value; }
    bool operator==(const SoapLiteral &other) const { return m_value == other.m_value; }

private:
    QString m_value;
};

Q_DECLARE_METATYPE(SoapLiteral)

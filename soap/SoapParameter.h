#pragma once

#include <QList>
#include <QString>
#include <QVariant>

// One named parameter of an operation. null() is true exactly when the
// value is none (see Soap::isNullValue), and follows every setValue.
class SoapParameter {
public:
    SoapParameter() = default;
    // The name first, then the value (so null() is right from the start).
    SoapParameter(const QVariant &value, const QString &name);

    const QString &name() const { return m_name; }
    void setName(const QString &name) { m_name = name; }
    const QVariant &value() const { return m_value; }
    void setValue(const QVariant &value);
    bool null() const { return m_null; }

    // The parameter's element, computed on every call: Soap::serialize of
    // the value with the name, or <name xsi:nil="true"/> for no value.
    QString xml() const;

private:
    QString m_name;
    QVariant m_value;
    bool m_null = true;
};

using SoapParameterList = QList<SoapParameter>;

#include "soap/SoapParameter.h"

#include "soap/Soap.h"

SoapParameter::SoapParameter(const QVariant &value, const QString &name) : m_name(name)
{
    setValue(value);
}

void SoapParameter::setValue(const QVariant &value)
{
    m_value = value;
    m_null = Soap::isNullValue(value);
}

QString SoapParameter::xml() const
{
    if (m_null)
        return u'<' + m_name + QStringLiteral(" xsi:nil=\"true\"/>");
    return Soap::serialize(m_value, m_name);
}

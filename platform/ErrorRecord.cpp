#include "platform/ErrorRecord.h"

const QString ErrorRecord::LocalizedDescriptionKey = QStringLiteral("NSLocalizedDescription");

ErrorRecord::ErrorRecord(QString domain, qint64 code, Details details)
    : m_domain(std::move(domain)), m_code(code), m_details(std::move(details))
{
}

ErrorRecord ErrorRecord::withDescription(const QString &domain, qint64 code, const QString &description)
{
    return ErrorRecord(domain, code, {{LocalizedDescriptionKey, description}});
}

QVariant ErrorRecord::detail(const QString &key) const
{
    for (const auto &entry : m_details) {
        if (entry.first == key)
            return entry.second;
    }
    return {};
}

void ErrorRecord::addDetail(const QString &key, const QVariant &value)
{
    m_details.append({key, value});
}

QString ErrorRecord::localizedDescription() const
{
    const QVariant description = detail(LocalizedDescriptionKey);
    if (description.isValid())
        return description.toString();
    return QStringLiteral("The operation couldn\u2019t be completed. (%1 error %2.)").arg(m_domain).arg(m_code);
}

bool ErrorRecord::operator==(const ErrorRecord &other) const
{
    return m_domain == other.m_domain && m_code == other.m_code && m_details == other.m_details;
}

#pragma once

#include <QList>
#include <QMetaType>
#include <QPair>
#include <QString>
#include <QVariant>

// A failure reported as a value: a domain, an integer code and ordered details.
class ErrorRecord {
public:
    using Details = QList<QPair<QString, QVariant>>;

    // The detail key whose value is the description shown to the user.
    static const QString LocalizedDescriptionKey;

    ErrorRecord() = default;
    ErrorRecord(QString domain, qint64 code, Details details = {});

    static ErrorRecord withDescription(const QString &domain, qint64 code, const QString &description);

    const QString &domain() const { return m_domain; }
    qint64 code() const { return m_code; }
    const Details &details() const { return m_details; }

    // The first value stored under key, or an invalid QVariant.
    QVariant detail(const QString &key) const;
    void addDetail(const QString &key, const QVariant &value);

    // The LocalizedDescriptionKey detail, else a generic text naming domain and code.
    QString localizedDescription() const;

    bool isNull() const { return m_domain.isNull(); }
    bool operator==(const ErrorRecord &other) const;

private:
    QString m_domain;
    qint64 m_code = 0;
    Details m_details;
};

Q_DECLARE_METATYPE(ErrorRecord)

#pragma once

#include <QList>
#include <QMetaType>
#include <QPair>
#include <QString>
#include <QVariant>

// A caught exception kept as a value: a name, a reason and ordered details.
class ExceptionRecord {
public:
    using Details = QList<QPair<QString, QVariant>>;

    ExceptionRecord() = default;
    ExceptionRecord(QString name, QString reason, Details details = {})
        : m_name(std::move(name)), m_reason(std::move(reason)), m_details(std::move(details)) {}

    const QString &name() const { return m_name; }
    const QString &reason() const { return m_reason; }
    const Details &details() const { return m_details; }
    bool isNull() const { return m_name.isNull(); }

    bool operator==(const ExceptionRecord &other) const = default;

private:
    QString m_name;
    QString m_reason;
    Details m_details;
};

Q_DECLARE_METATYPE(ExceptionRecord)

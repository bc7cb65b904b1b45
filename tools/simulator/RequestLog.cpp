#include "tools/simulator/RequestLog.h"

#include <QDateTime>
#include <QJsonDocument>

bool RequestLog::open(const QString &path)
{
    if (path.isEmpty())
        return true;
    file.setFileName(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Append);
}

void RequestLog::write(QJsonObject entry)
{
    if (!file.isOpen())
        return;
    entry.insert(QStringLiteral("time"), QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs));
    file.write(QJsonDocument(entry).toJson(QJsonDocument::Compact) + '\n');
    file.flush();
}

#pragma once

#include <QFile>
#include <QJsonObject>
#include <QString>

// Appends one JSON object per line to the log file, flushed at once so that
// a test can read it while the simulator runs.
class RequestLog
{
public:
    // Without a path nothing is written. Returns false when the file cannot be opened.
    bool open(const QString &path);
    void write(QJsonObject entry);

private:
    QFile file;
};

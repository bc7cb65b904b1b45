#include "tests/service/SimulatorProcess.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QThread>

namespace {

QString logPath(const QTemporaryDir &folder)
{
    return folder.filePath(QStringLiteral("requests.jsonl"));
}

} // namespace

SimulatorProcess::SimulatorProcess(const QStringList &options)
{
    process.setProgram(QStringLiteral(ORVANA_SIMULATOR_PATH));
    process.setArguments(QStringList{QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--log"),
                                     logPath(folder)}
                         + options);
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start();
    if (!process.waitForStarted(5000)) {
        error_ = process.errorString();
        return;
    }
    static const QRegularExpression listening(QStringLiteral("^Listening on 127\\.0\\.0\\.1:(\\d+)"));
    QByteArray output;
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired() && !output.contains('\n') && process.state() == QProcess::Running) {
        process.waitForReadyRead(100);
        output += process.readAllStandardOutput();
    }
    const QRegularExpressionMatch match = listening.match(QString::fromUtf8(output));
    if (!match.hasMatch()) {
        error_ = QStringLiteral("no port reported: ") + QString::fromUtf8(output + process.readAllStandardError());
        return;
    }
    port_ = quint16(match.captured(1).toUInt());
}

SimulatorProcess::~SimulatorProcess()
{
    if (process.state() != QProcess::NotRunning) {
        process.terminate();
        if (!process.waitForFinished(5000)) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
}

QString SimulatorProcess::serviceUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1/Orvana/WebServices/2009/07/").arg(port_);
}

QList<QJsonObject> SimulatorProcess::logEntries() const
{
    QList<QJsonObject> entries;
    QFile file(logPath(folder));
    if (!file.open(QIODevice::ReadOnly))
        return entries;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (!line.isEmpty())
            entries.append(QJsonDocument::fromJson(line).object());
    }
    return entries;
}

bool SimulatorProcess::waitForLogEntries(qsizetype count, int timeoutMs) const
{
    QDeadlineTimer deadline(timeoutMs);
    while (logEntries().size() < count) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

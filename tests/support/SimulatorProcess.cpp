#include "tests/support/SimulatorProcess.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QThread>

QString SimulatorProcess::start(const QString &share, const QString &requestLog, const QStringList &extra,
                                quint16 port)
{
    m_requestLog = requestLog.isNull() ? m_folder.filePath(QStringLiteral("requests.jsonl")) : requestLog;
    QStringList arguments{QStringLiteral("--port"), QString::number(port), QStringLiteral("--log"), m_requestLog};
    if (!share.isNull())
        arguments << QStringLiteral("--share") << share;
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.start(QStringLiteral(ORVANA_SIMULATOR_PATH), arguments + extra);
    if (!m_process.waitForStarted(10000))
        return QStringLiteral("the simulator did not start: ") + m_process.errorString();
    static const QRegularExpression banner(QStringLiteral("Listening on 127\\.0\\.0\\.1:(\\d+)"));
    QByteArray output;
    const QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired()) {
        if (!m_process.waitForReadyRead(100) && m_process.state() != QProcess::Running)
            break;
        output += m_process.readAllStandardOutput();
        const QRegularExpressionMatch match = banner.match(QString::fromUtf8(output));
        if (match.hasMatch()) {
            m_port = quint16(match.captured(1).toUInt());
            return {};
        }
    }
    return QStringLiteral("the simulator did not listen: ") + QString::fromUtf8(output) +
           QString::fromUtf8(m_process.readAllStandardError());
}

void SimulatorProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QString SimulatorProcess::serviceUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(OVWSContract::endpointPath());
}

QList<QJsonObject> SimulatorProcess::logEntries() const
{
    QList<QJsonObject> entries;
    QFile file(m_requestLog);
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

QList<QJsonObject> SimulatorProcess::refreshRequests()
{
    stop();
    QList<QJsonObject> requests;
    for (const QJsonObject &entry : logEntries()) {
        if (entry.value(QStringLiteral("operation")).toString() == QLatin1String("RefreshMediaCollectionByMediaType"))
            requests.append(entry);
    }
    return requests;
}

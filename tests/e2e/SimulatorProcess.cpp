#include "tests/e2e/SimulatorProcess.h"

#include "tests/e2e/ProcessTree.h"

#include <QFile>
#include <QJsonDocument>

QString SimulatorProcess::start(const QString &share, const QString &requestLog, const QStringList &extra)
{
    m_requestLog = requestLog;
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.start(QStringLiteral(ORVANA_SIMULATOR_PATH),
                    QStringList{QStringLiteral("--port"), QStringLiteral("8731"), QStringLiteral("--share"), share,
                                QStringLiteral("--log"), requestLog} +
                        extra);
    if (!m_process.waitForStarted())
        return QStringLiteral("the simulator did not start");
    QByteArray banner;
    for (int i = 0; i < 100 && !banner.contains("Listening"); ++i) {
        m_process.waitForReadyRead(100);
        banner += m_process.readAllStandardOutput();
    }
    if (!banner.contains("Listening"))
        return QStringLiteral("the simulator did not listen: ") + QString::fromUtf8(m_process.readAllStandardError());
    return {};
}

void SimulatorProcess::stop()
{
    processtree::stop(m_process);
}

QList<QJsonObject> SimulatorProcess::refreshRequests()
{
    stop();
    QList<QJsonObject> requests;
    QFile log(m_requestLog);
    if (!log.open(QIODevice::ReadOnly))
        return requests;
    for (const QByteArray &line : log.readAll().split('\n')) {
        const QJsonObject object = QJsonDocument::fromJson(line).object();
        if (object.value(QStringLiteral("operation")).toString() == QLatin1String("RefreshMediaCollectionByMediaType"))
            requests.append(object);
    }
    return requests;
}

#pragma once

#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>

// The music-server simulator on 127.0.0.1:8731, reading `share` when asked
// to refresh and logging every request to `requestLog`.
class SimulatorProcess {
public:
    ~SimulatorProcess() { stop(); }

    // Starts it and waits for its banner; answers why it did not come up, or null.
    QString start(const QString &share, const QString &requestLog, const QStringList &extra = {});
    void stop();
    // The refresh requests of the log; stops the simulator first, as the
    // log is complete only then.
    QList<QJsonObject> refreshRequests();

private:
    QProcess m_process;
    QString m_requestLog;
};

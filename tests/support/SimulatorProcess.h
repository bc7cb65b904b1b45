#pragma once

#include "service/OVWSContract.h"

#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// The music-server simulator run by a test on 127.0.0.1, logging every
// request; stopped when destroyed. On the service's own port the programs
// under test reach it as they would reach the server; on port 0 it picks a
// free one (port() tells which), for tests that give the address themselves.
class SimulatorProcess {
public:
    static quint16 servicePort() { return quint16(OVWSContract::port()); }

    ~SimulatorProcess() { stop(); }

    // Starts it, reading share when asked to refresh (null: no share) and
    // logging to requestLog (null: a file of its own), and waits for its
    // banner; answers why it did not come up, or null.
    QString start(const QString &share, const QString &requestLog, const QStringList &extra = {},
                  quint16 port = servicePort());
    // SIGTERM, then SIGKILL when it is still there after five seconds.
    void stop();

    bool isRunning() const { return m_process.state() == QProcess::Running; }
    quint16 port() const { return m_port; }
    // http://127.0.0.1:<port><the service's path>
    QString serviceUrl() const;
    // Every log line written so far, in order.
    QList<QJsonObject> logEntries() const;
    // Waits (running the event loop) until the log holds count entries.
    bool waitForLogEntries(qsizetype count, int timeoutMs = 10000) const;
    // The refresh requests of the log; stops the simulator first, as the
    // log is complete only then.
    QList<QJsonObject> refreshRequests();

private:
    QTemporaryDir m_folder;
    QProcess m_process;
    QString m_requestLog;
    quint16 m_port = 0;
};

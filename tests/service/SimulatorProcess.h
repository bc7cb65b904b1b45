#pragma once

#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// The music-server simulator run by a test on 127.0.0.1 at a free port,
// with its request log in a temporary folder; stopped when destroyed.
class SimulatorProcess
{
public:
    explicit SimulatorProcess(const QStringList &options = {});
    ~SimulatorProcess();

    // Whether it started and reported its port; otherwise error() says why.
    bool isRunning() const { return port_ != 0; }
    QString error() const { return error_; }
    quint16 port() const { return port_; }
    // http://127.0.0.1:<port>/Orvana/WebServices/2009/07/
    QString serviceUrl() const;
    // Every log line written so far, in order.
    QList<QJsonObject> logEntries() const;
    // Waits (running the event loop) until the log holds count entries.
    bool waitForLogEntries(qsizetype count, int timeoutMs = 10000) const;

private:
    QTemporaryDir folder;
    QProcess process;
    quint16 port_ = 0;
    QString error_;
};

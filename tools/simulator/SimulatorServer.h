#pragma once

#include "tools/simulator/HttpRequestReader.h"
#include "tools/simulator/RequestLog.h"
#include "tools/simulator/SampleResultWriter.h"
#include "tools/simulator/SimulatorOptions.h"

#include <QObject>
#include <QTcpServer>

struct HttpResponse
{
    int status = 200;
    QByteArray reason = "OK";
    QByteArray contentType = "text/xml; charset=utf-8";
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;

    QByteArray bytes(bool close) const;
};

// The simulated music server: HTTP on 127.0.0.1, the service contract under
// its endpoint path, one log line per request.
class SimulatorServer : public QObject
{
    Q_OBJECT

public:
    explicit SimulatorServer(const SimulatorOptions &options, QObject *parent = nullptr);

    // Listens on 127.0.0.1 at the options' port; error text on failure, else null.
    QString start();
    quint16 port() const { return server.serverPort(); }
    int delayMs() const { return options.delayMs; }

    HttpResponse answer(const HttpRequest &request);

private:
    SimulatorOptions options;
    QTcpServer server;
    RequestLog log;
    SampleResultWriter results;

    void acceptConnections();
    bool authorised(const HttpRequest &request) const;
    static HttpResponse plain(int status, const QByteArray &reason, const QByteArray &text);
    static HttpResponse fault(const QString &code, const QString &text, const QString &detail);
    HttpResponse result(const OVWSContract::Operation &operation) const;
};

#include "tools/simulator/SimulatorServer.h"

#include "tools/simulator/ShareAnalyzer.h"
#include "tools/simulator/SimulatorConnection.h"
#include "tools/simulator/SoapCallReader.h"
#include "xml/XmlText.h"

#include <QJsonObject>

namespace {

const QString refreshOperation = QStringLiteral("RefreshMediaCollectionByMediaType");

QByteArray envelope(const QString &body)
{
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>"
                          "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body>%1</s:Body>"
                          "</s:Envelope>")
        .arg(body)
        .toUtf8();
}

} // namespace

QByteArray HttpResponse::bytes(bool close) const
{
    QByteArray text = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason + "\r\n";
    text += "Content-Type: " + contentType + "\r\n";
    text += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    for (const auto &[name, value] : headers)
        text += name + ": " + value + "\r\n";
    if (close)
        text += "Connection: close\r\n";
    return text + "\r\n" + body;
}

SimulatorServer::SimulatorServer(const SimulatorOptions &options, QObject *parent)
    : QObject(parent), options(options), results(options.listItems)
{
    connect(&server, &QTcpServer::newConnection, this, &SimulatorServer::acceptConnections);
}

QString SimulatorServer::start()
{
    if (!log.open(options.logPath))
        return QStringLiteral("cannot open the log file %1").arg(options.logPath);
    if (!server.listen(QHostAddress::LocalHost, options.port))
        return QStringLiteral("cannot listen on 127.0.0.1:%1: %2").arg(options.port).arg(server.errorString());
    return QString();
}

void SimulatorServer::acceptConnections()
{
    while (QTcpSocket *socket = server.nextPendingConnection())
        new SimulatorConnection(socket, this);
}

bool SimulatorServer::authorised(const HttpRequest &request) const
{
    if (options.requiredUser.isNull())
        return true;
    const QByteArray expected = "Basic " + (options.requiredUser + u':' + options.requiredPassword).toUtf8().toBase64();
    return request.header("Authorization") == expected;
}

HttpResponse SimulatorServer::plain(int status, const QByteArray &reason, const QByteArray &text)
{
    HttpResponse response;
    response.status = status;
    response.reason = reason;
    response.contentType = "text/plain; charset=utf-8";
    response.body = text;
    return response;
}

HttpResponse SimulatorServer::fault(const QString &code, const QString &text, const QString &detail)
{
    HttpResponse response;
    response.status = 500;
    response.reason = "Internal Server Error";
    response.body = envelope(QStringLiteral("<s:Fault><faultcode>%1</faultcode><faultstring>%2</faultstring>"
                                            "<detail>%3</detail></s:Fault>")
                                 .arg(code, XmlText::escapeAttribute(text), XmlText::escapeAttribute(detail)));
    return response;
}

HttpResponse SimulatorServer::result(const OVWSContract::Operation &operation) const
{
    HttpResponse response;
    response.body = envelope(results.responseElement(operation));
    return response;
}

HttpResponse SimulatorServer::answer(const HttpRequest &request)
{
    QJsonObject entry{{QStringLiteral("method"), QString::fromLatin1(request.method)},
                      {QStringLiteral("path"), QString::fromUtf8(request.path)}};
    HttpResponse response;
    const auto finish = [&](const QString &outcome) {
        entry.insert(QStringLiteral("outcome"), outcome);
        entry.insert(QStringLiteral("status"), response.status);
        log.write(entry);
        return response;
    };

    if (!authorised(request)) {
        response = plain(401, "Unauthorized", "Authentication required\n");
        response.headers.append(qMakePair(QByteArray("WWW-Authenticate"), QByteArray("Basic realm=\"OrvanaMusic\"")));
        return finish(QStringLiteral("unauthorized"));
    }
    if (request.path != OVWSContract::endpointPath().toUtf8()) {
        response = plain(404, "Not Found", "No service at this path\n");
        return finish(QStringLiteral("not found"));
    }
    if (request.method != "POST") {
        response = plain(405, "Method Not Allowed", "The service takes POST requests\n");
        response.headers.append(qMakePair(QByteArray("Allow"), QByteArray("POST")));
        return finish(QStringLiteral("method not allowed"));
    }

    const QByteArray soapAction = request.header("SOAPAction");
    const ReceivedCall call = SoapCallReader::read(request.body, soapAction);
    entry.insert(QStringLiteral("soapAction"), soapAction.isNull() ? QJsonValue() : QString::fromUtf8(soapAction));
    entry.insert(QStringLiteral("operation"), call.operationName);
    entry.insert(QStringLiteral("parameters"), call.parameters);
    if (!call.problem.isNull())
        entry.insert(QStringLiteral("problem"), call.problem);
    if (options.logBodies)
        entry.insert(QStringLiteral("body"), QString::fromUtf8(request.body));

    if (options.httpErrorStatus) {
        response = plain(options.httpErrorStatus, "Simulated Error", "Simulated HTTP error\n");
        return finish(QStringLiteral("http error"));
    }
    if (options.answerWithGarbage) {
        response = plain(200, "OK", "<<this is not XML&&");
        response.contentType = "text/xml; charset=utf-8";
        return finish(QStringLiteral("garbage"));
    }
    if (!call.keepsContract()) {
        response = fault(QStringLiteral("s:Client"), call.problem, call.operationName);
        return finish(QStringLiteral("fault"));
    }
    if (options.answerWithFault) {
        response = fault(QStringLiteral("s:Server"), QStringLiteral("Simulated fault"), call.operationName);
        return finish(QStringLiteral("fault"));
    }
    if (call.operationName == refreshOperation && !options.shareDir.isEmpty())
        entry.insert(QStringLiteral("share"), ShareAnalyzer(options.shareDir).analyse());
    response = result(*call.operation);
    return finish(QStringLiteral("result"));
}

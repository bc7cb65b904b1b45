#include "tests/support/LocalHttpServer.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>

namespace testsupport {

namespace {

const char *const BufferProperty = "localHttpServerBuffer";

QByteArray reasonFor(int status)
{
    switch (status) {
    case 200: return "OK";
    case 201: return "Created";
    case 204: return "No Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Status";
    }
}

} // namespace

QByteArray LocalHttpServer::Request::header(const QByteArray &name) const
{
    for (const auto &entry : headers) {
        if (entry.first.compare(name, Qt::CaseInsensitive) == 0)
            return entry.second;
    }
    return QByteArray();
}

bool LocalHttpServer::Request::hasHeader(const QByteArray &name) const
{
    for (const auto &entry : headers) {
        if (entry.first.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

LocalHttpServer::Response LocalHttpServer::Response::withType(const QByteArray &contentType, const QByteArray &body,
                                                           int status)
{
    Response response;
    response.status = status;
    response.headers.append(qMakePair(QByteArray("Content-Type"), contentType));
    response.body = body;
    return response;
}

LocalHttpServer::Response LocalHttpServer::Response::xml(const QByteArray &body, int status)
{
    return withType("text/xml; charset=utf-8", body, status);
}

LocalHttpServer::Response LocalHttpServer::Response::text(const QByteArray &body, int status)
{
    return withType("text/plain; charset=utf-8", body, status);
}

LocalHttpServer::LocalHttpServer(QObject *parent) : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &LocalHttpServer::onNewConnection);
}

LocalHttpServer::~LocalHttpServer()
{
    stop();
}

bool LocalHttpServer::start()
{
    return m_server.listen(QHostAddress::LocalHost, 0);
}

void LocalHttpServer::stop()
{
    m_server.close();
    m_heldSockets.clear();
    for (QTcpSocket *socket : findChildren<QTcpSocket *>()) {
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
}

quint16 LocalHttpServer::port() const
{
    return m_server.serverPort();
}

QUrl LocalHttpServer::url(const QByteArray &path) const
{
    return QUrl(urlString(path));
}

QString LocalHttpServer::urlString(const QByteArray &path) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(QString::fromUtf8(path));
}

void LocalHttpServer::enqueue(const Response &response)
{
    m_script.append(response);
}

void LocalHttpServer::setDefaultResponse(const Response &response)
{
    m_defaultResponse = response;
}

void LocalHttpServer::requireBasicAuthentication(const QByteArray &user, const QByteArray &password,
                                                 const QByteArray &realm)
{
    m_authenticate = true;
    m_user = user;
    m_password = password;
    m_realm = realm;
}

bool LocalHttpServer::waitForRequests(qsizetype count, int timeoutMilliseconds)
{
    QDeadlineTimer deadline(timeoutMilliseconds);
    while (m_requests.size() < count && !deadline.hasExpired()) {
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return m_requests.size() >= count;
}

void LocalHttpServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        ++m_connectionCount;
        socket->setParent(this);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void LocalHttpServer::onReadyRead(QTcpSocket *socket)
{
    QByteArray buffer = socket->property(BufferProperty).toByteArray() + socket->readAll();
    socket->setProperty(BufferProperty, buffer);
    const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
    if (headerEnd < 0)
        return;
    const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
    Request request;
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    request.method = requestLine.value(0);
    request.target = requestLine.value(1);
    request.version = requestLine.value(2);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            request.headers.append(qMakePair(line.left(colon).trimmed(), line.mid(colon + 1).trimmed()));
    }
    const qsizetype length = request.header("Content-Length").toLongLong();
    if (buffer.size() - headerEnd - 4 < length)
        return; // body not complete yet
    request.body = buffer.mid(headerEnd + 4, length);
    socket->setProperty(BufferProperty, QByteArray());
    socket->disconnect(this); // one request per connection
    m_requests.append(request);
    emit requestReceived(request);

    if (m_authenticate && !authorized(request)) {
        Response challenge = Response::text("authentication required", 401);
        challenge.headers.append(qMakePair(QByteArray("WWW-Authenticate"), QByteArray("Basic realm=\"" + m_realm + "\"")));
        answer(socket, challenge);
        return;
    }
    const Response response = m_script.isEmpty() ? m_defaultResponse : m_script.takeFirst();
    if (response.neverAnswer) {
        m_heldSockets.append(socket);
        return;
    }
    if (response.closeWithoutAnswer) {
        socket->disconnectFromHost();
        return;
    }
    if (response.delayMilliseconds > 0) {
        QTimer::singleShot(response.delayMilliseconds, socket, [this, socket, response] { answer(socket, response); });
        return;
    }
    answer(socket, response);
}

void LocalHttpServer::answer(QTcpSocket *socket, const Response &response)
{
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' +
                      (response.reason.isEmpty() ? reasonFor(response.status) : response.reason) + "\r\n";
    for (const auto &header : response.headers)
        head += header.first + ": " + header.second + "\r\n";
    head += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    head += "Connection: close\r\n\r\n";
    socket->write(head);
    socket->write(response.body);
    socket->disconnectFromHost();
}

bool LocalHttpServer::authorized(const Request &request) const
{
    const QByteArray credentials = m_user + ':' + m_password;
    const QByteArray expected = "Basic " + credentials.toBase64();
    return request.header("Authorization") == expected;
}

} // namespace testsupport

#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QTcpServer>
#include <QUrl>

class QTcpSocket;

namespace testsupport {

// A scripted HTTP/1.1 responder on 127.0.0.1 for tests (never another
// address). It records every request it receives and answers each with the
// next scripted response, or with the default response once the script is
// used up. One request per connection: every answer carries
// "Connection: close".
//
//     testsupport::LocalHttpServer server;
//     ASSERT_TRUE(server.start());
//     server.enqueue(LocalHttpServer::Response::xml("<a/>"));
//     QUrl url = server.url("/path");
//     ... run the event loop until done (waitForRequests helps) ...
//     server.requests().first().body
//
// Scripted behaviours: any status, reason, headers and body; a delay before
// the answer; an answer that never comes (the connection stays open until
// the server stops); closing the connection without an answer; Basic
// authentication, answering 401 with a WWW-Authenticate challenge to every
// request whose credentials do not match (a 401 does not use up a scripted
// response).
//
// Runs on the thread that made it; that thread's event loop must run.
class LocalHttpServer : public QObject {
    Q_OBJECT
public:
    using Headers = QList<QPair<QByteArray, QByteArray>>;

    struct Request {
        QByteArray method;
        QByteArray target; // path and query as sent
        QByteArray version;
        Headers headers;   // in arrival order, names as sent
        QByteArray body;
        // The first header of that name (case-insensitive); null when absent.
        QByteArray header(const QByteArray &name) const;
        bool hasHeader(const QByteArray &name) const;
    };

    struct Response {
        int status = 200;
        QByteArray reason;  // empty: the usual text for status
        Headers headers;    // Content-Length and Connection are added
        QByteArray body;
        int delayMilliseconds = 0;
        bool neverAnswer = false;
        bool closeWithoutAnswer = false;

        static Response withType(const QByteArray &contentType, const QByteArray &body, int status = 200);
        static Response xml(const QByteArray &body, int status = 200);
        static Response text(const QByteArray &body, int status = 200);
    };

    explicit LocalHttpServer(QObject *parent = nullptr);
    ~LocalHttpServer() override;

    // Listens on 127.0.0.1 at a free port.
    bool start();
    void stop();
    quint16 port() const;
    // http://127.0.0.1:<port><path>
    QUrl url(const QByteArray &path = "/") const;
    QString urlString(const QByteArray &path = "/") const;

    void enqueue(const Response &response);
    void setDefaultResponse(const Response &response);
    // Requests must carry "Authorization: Basic" with these credentials.
    void requireBasicAuthentication(const QByteArray &user, const QByteArray &password,
                                    const QByteArray &realm = "test");

    const QList<Request> &requests() const { return m_requests; }
    // Runs the event loop until count requests have arrived or the time is up.
    bool waitForRequests(qsizetype count, int timeoutMilliseconds = 5000);
    // Connections accepted so far.
    int connectionCount() const { return m_connectionCount; }

signals:
    void requestReceived(const testsupport::LocalHttpServer::Request &request);

private:
    void onNewConnection();
    void onReadyRead(QTcpSocket *socket);
    void answer(QTcpSocket *socket, const Response &response);
    bool authorized(const Request &request) const;

    QTcpServer m_server;
    QList<Response> m_script;
    Response m_defaultResponse;
    QList<Request> m_requests;
    QList<QPointer<QTcpSocket>> m_heldSockets; // never answered
    QByteArray m_user;
    QByteArray m_password;
    QByteArray m_realm;
    bool m_authenticate = false;
    int m_connectionCount = 0;
};

} // namespace testsupport

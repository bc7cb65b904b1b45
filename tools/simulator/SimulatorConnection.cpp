#include "tools/simulator/SimulatorConnection.h"

#include "tools/simulator/SimulatorServer.h"

#include <QPointer>
#include <QTimer>

SimulatorConnection::SimulatorConnection(QTcpSocket *socket, SimulatorServer *server)
    : QObject(socket), socket(socket), server(server)
{
    connect(socket, &QTcpSocket::readyRead, this, &SimulatorConnection::readRequests);
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
}

void SimulatorConnection::readRequests()
{
    reader.append(socket->readAll());
    if (answering)
        return; // the next request is read once the current one is answered
    HttpRequest request;
    switch (reader.next(&request)) {
    case HttpRequestReader::State::NeedMore:
        return;
    case HttpRequestReader::State::Malformed:
        send("HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n", true);
        return;
    case HttpRequestReader::State::TooLarge:
        send("HTTP/1.1 413 Payload Too Large\r\nContent-Length: 0\r\nConnection: close\r\n\r\n", true);
        return;
    case HttpRequestReader::State::Complete:
        break;
    }
    const bool close = request.wantsClose();
    const QByteArray bytes = server->answer(request).bytes(close);
    if (server->delayMs() <= 0) {
        send(bytes, close);
        if (!close)
            readRequests();
        return;
    }
    answering = true;
    QPointer<SimulatorConnection> self(this);
    QTimer::singleShot(server->delayMs(), this, [this, self, bytes, close] {
        answering = false;
        send(bytes, close);
        if (self && !close)
            readRequests();
    });
}

void SimulatorConnection::send(const QByteArray &bytes, bool close)
{
    if (socket->state() != QAbstractSocket::ConnectedState)
        return;
    socket->write(bytes);
    if (close)
        socket->disconnectFromHost();
}

#pragma once

#include "tools/simulator/HttpRequestReader.h"

#include <QObject>
#include <QTcpSocket>

class SimulatorServer;

// One client connection: reads requests one after another (keep-alive) and
// writes each answer, after the configured delay.
class SimulatorConnection : public QObject
{
    Q_OBJECT

public:
    SimulatorConnection(QTcpSocket *socket, SimulatorServer *server);

private:
    QTcpSocket *socket;
    SimulatorServer *server;
    HttpRequestReader reader;
    bool answering = false;

    void readRequests();
    void send(const QByteArray &bytes, bool close);
};

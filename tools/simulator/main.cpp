#include "discovery/AvahiNetServicePublisher.h"
#include "tools/simulator/SimulatorServer.h"

#include <QCoreApplication>

#include <cstdio>

// A music server for tests and demonstrations: answers every operation of the
// service contract on 127.0.0.1. Prints "Listening on 127.0.0.1:<port>" once
// ready, and "Announced as <name>" once an announcement is established.
int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments();
    arguments.removeFirst();
    if (arguments.contains(QStringLiteral("--help"))) {
        std::fputs(SimulatorOptions::usage().toLocal8Bit().constData(), stdout);
        return 0;
    }
    SimulatorOptions options;
    const QString optionError = options.parse(arguments);
    if (!optionError.isNull()) {
        std::fprintf(stderr, "orvana-simulator: %s\n%s", optionError.toLocal8Bit().constData(),
                     SimulatorOptions::usage().toLocal8Bit().constData());
        return 2;
    }
    SimulatorServer server(options);
    const QString startError = server.start();
    if (!startError.isNull()) {
        std::fprintf(stderr, "orvana-simulator: %s\n", startError.toLocal8Bit().constData());
        return 1;
    }
    std::printf("Listening on 127.0.0.1:%u\n", unsigned(server.port()));
    std::fflush(stdout);
    AvahiNetServicePublisher publisher;
    if (!options.announceName.isNull()) {
        // Without the daemon the server still answers; the announcement
        // follows whenever the daemon (re)appears.
        QObject::connect(&publisher, &AvahiNetServicePublisher::established, &app, [](const QString &name) {
            std::printf("Announced as %s\n", name.toUtf8().constData());
            std::fflush(stdout);
        });
        QObject::connect(&publisher, &AvahiNetServicePublisher::failed, &app, [](const QString &reason) {
            std::fprintf(stderr, "orvana-simulator: cannot announce the server: %s\n", reason.toLocal8Bit().constData());
        });
        publisher.publish(options.announceName, QStringLiteral("_orvana_ws._tcp."), server.port(), QStringLiteral("lo"));
    }
    return app.exec();
}

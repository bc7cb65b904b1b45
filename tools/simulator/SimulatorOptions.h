#pragma once

#include "service/OVWSContract.h"

#include <QString>
#include <QStringList>

// What the simulator was asked to do, read from its command line.
struct SimulatorOptions
{
    quint16 port = quint16(OVWSContract::port()); // 0 picks a free port
    QString logPath;     // one JSON line per request; none: no log
    QString shareDir;    // analysed on RefreshMediaCollectionByMediaType
    bool answerWithFault = false;
    int httpErrorStatus = 0; // answer every request with this status
    bool answerWithGarbage = false;
    int delayMs = 0;
    QString requiredUser; // with requiredPassword: HTTP Basic authentication required
    QString requiredPassword;
    int listItems = 2; // items in every list of a result
    bool logBodies = false; // each log line also holds the request body
    QString announceName; // announced by DNS-SD on the loopback interface; none: not announced

    // Reads arguments (without the program name). Returns an error text, or a
    // null string when they are valid.
    QString parse(const QStringList &arguments);
    static QString usage();
};

#pragma once

#include <QString>

#include <functional>
#include <optional>

// The checks made before a sync starts, so that what would otherwise fail
// later under a vaguer message (or not at all) is named with its cause and
// its fix: a bad MountMethod, a share folder that is not there, no server,
// a mount that cannot work on this machine, a server name that does not
// resolve.
class SyncPreflight {
public:
    struct Inputs {
        QString settingsFile;
        QString mountMethod;  // the stored text
        QString shareFolder;  // null: the share is mounted
        QString server;       // the address text; empty: none
    };
    // What the machine is like; tests put their own answers in.
    struct Machine {
        std::function<bool(const QString &volumeName)> volumeMounted;
        std::function<bool()> mountCifsInstalled;
        std::function<bool()> sessionBusAvailable;
        std::function<bool()> runningAsRoot;
        std::function<bool(const QString &host)> hostResolves;
    };
    struct Problem {
        QString message;
        int exitStatus;
    };

    // The real machine.
    static Machine systemMachine(const QString &mountCifsProgram = QStringLiteral("mount.cifs"));

    // The first problem, or none.
    static std::optional<Problem> check(const Inputs &inputs, const Machine &machine);

    // The host part of a server text, or null when it names no host (an
    // address with a port, as the refresh sees it).
    static QString hostOf(const QString &server);
    // The message for a server name that does not resolve.
    static QString unresolvedHostMessage(const QString &host);
};

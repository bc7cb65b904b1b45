#pragma once

#include "tests/support/PrivateSessionBus.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

// A Secret Service of one test's own: gnome-keyring-daemon (its secrets
// component only) on a private session bus, with its keyrings under `home`,
// its login keyring made and unlocked with a test password given on its
// standard input.
class TestKeyringDaemon {
public:
    ~TestKeyringDaemon() { stop(); }

    // Why it cannot run here (a missing program), or null.
    static QString missingPrerequisite();

    // Starts the bus and the daemon and waits until the daemon owns
    // org.freedesktop.secrets; answers why it could not, or null.
    QString start(const QString &runtimeFolder, const QString &home);
    void stop();

    // What a program that uses this keyring needs: the bus, the runtime
    // folder, HOME and XDG_DATA_HOME.
    void addTo(QProcessEnvironment &environment) const;
    // Where the daemon keeps its keyring files.
    QString keyringsFolder() const { return m_home + QStringLiteral("/.local/share/keyrings"); }

private:
    bool serviceOwned() const;

    QString m_home;
    PrivateSessionBus m_bus;
    QProcess m_daemon;
};

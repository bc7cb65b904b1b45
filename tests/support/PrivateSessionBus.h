#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

// A D-Bus session bus of one test's own (dbus-daemon), listening at
// <runtime folder>/bus. Nothing can be activated on it, so no service of
// the machine joins in; it ends with the test process at the latest.
class PrivateSessionBus {
public:
    ~PrivateSessionBus() { stop(); }

    // Why the bus cannot run here (dbus-daemon missing), or null.
    static QString missingPrerequisite();

    // Starts the bus; answers why it did not come up, or null. The runtime
    // folder is made (mode 0700) when missing.
    QString start(const QString &runtimeFolder);
    void stop();

    const QString &address() const { return m_address; }
    bool running() const { return m_daemon.state() != QProcess::NotRunning; }
    // DBUS_SESSION_BUS_ADDRESS and XDG_RUNTIME_DIR of a program on this bus.
    void addTo(QProcessEnvironment &environment) const;

private:
    QString m_runtimeFolder;
    QString m_address;
    QProcess m_daemon;
};

#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// A network namespace of the test's own, with loopback as its only
// interface (multicast switched on, as mDNS needs; a blackhole route as
// the only other way out), a private /run, and in
// it a system bus and an Avahi daemon of their own with a private
// configuration. Nothing in it can reach the machine's network or its real
// system bus. Needs root, unshare, nsenter, ip, dbus-daemon and avahi-daemon.
class DiscoveryNamespace {
public:
    ~DiscoveryNamespace() { stop(); }

    // Answers why the namespace cannot be had (the test then skips), or null.
    QString start(const QString &folder);
    QString startAvahi();
    // SIGKILL: the daemon gets no chance to say goodbye.
    void killAvahi();
    void stop();

    // Starts a program inside the namespace.
    void launch(QProcess &process, const QString &program, const QStringList &arguments);
    // The environment of what runs inside: the namespace's bus, and `home`
    // as HOME and XDG_RUNTIME_DIR.
    QProcessEnvironment environment(const QString &home) const;

private:
    QString m_folder;
    QString m_nsenter;
    QProcess m_holder;
    QProcess m_bus;
    QProcess m_avahi;
};

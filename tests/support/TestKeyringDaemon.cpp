#include "tests/support/TestKeyringDaemon.h"

#include <QDir>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <QThread>

#include <csignal>
#include <sys/prctl.h>

namespace {

constexpr int startTimeoutMs = 15000;

QString program(const QString &name)
{
    return QStandardPaths::findExecutable(name, {QStringLiteral("/usr/bin")});
}

} // namespace

QString TestKeyringDaemon::missingPrerequisite()
{
    if (const QString missing = PrivateSessionBus::missingPrerequisite(); !missing.isNull())
        return missing;
    if (program(QStringLiteral("gnome-keyring-daemon")).isEmpty())
        return QStringLiteral("gnome-keyring-daemon is not installed (Debian package gnome-keyring)");
    if (program(QStringLiteral("dbus-send")).isEmpty())
        return QStringLiteral("dbus-send is not installed (Debian package dbus-bin)");
    return {};
}

void TestKeyringDaemon::addTo(QProcessEnvironment &environment) const
{
    m_bus.addTo(environment);
    environment.insert(QStringLiteral("HOME"), m_home);
    environment.insert(QStringLiteral("XDG_DATA_HOME"), m_home + QStringLiteral("/.local/share"));
}

bool TestKeyringDaemon::serviceOwned() const
{
    QProcess ask;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    addTo(environment);
    ask.setProcessEnvironment(environment);
    ask.start(program(QStringLiteral("dbus-send")),
              {QStringLiteral("--session"), QStringLiteral("--print-reply"), QStringLiteral("--dest=org.freedesktop.DBus"),
               QStringLiteral("/org/freedesktop/DBus"), QStringLiteral("org.freedesktop.DBus.NameHasOwner"),
               QStringLiteral("string:org.freedesktop.secrets")});
    if (!ask.waitForFinished(5000)) {
        ask.kill();
        ask.waitForFinished();
        return false;
    }
    return ask.readAllStandardOutput().contains("boolean true");
}

QString TestKeyringDaemon::start(const QString &runtimeFolder, const QString &home)
{
    m_home = home;
    if (!QDir().mkpath(m_home))
        return QStringLiteral("cannot make %1").arg(m_home);
    if (const QString problem = m_bus.start(runtimeFolder); !problem.isNull())
        return problem;

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    addTo(environment);
    m_daemon.setProcessEnvironment(environment);
    m_daemon.setProcessChannelMode(QProcess::MergedChannels);
    m_daemon.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
    m_daemon.start(program(QStringLiteral("gnome-keyring-daemon")),
                   {QStringLiteral("--foreground"), QStringLiteral("--unlock"), QStringLiteral("--components=secrets")});
    if (!m_daemon.waitForStarted())
        return QStringLiteral("gnome-keyring-daemon did not start");
    // The password of the login keyring, read up to the end of input.
    m_daemon.write("keyring-test-password");
    m_daemon.waitForBytesWritten(startTimeoutMs);
    m_daemon.closeWriteChannel();
    QElapsedTimer waited;
    waited.start();
    while (!serviceOwned()) {
        if (m_daemon.state() != QProcess::Running || waited.elapsed() > startTimeoutMs)
            return QStringLiteral("gnome-keyring-daemon did not take org.freedesktop.secrets: ") +
                   QString::fromUtf8(m_daemon.readAll());
        QThread::msleep(50);
    }
    return {};
}

void TestKeyringDaemon::stop()
{
    if (m_daemon.state() != QProcess::NotRunning) {
        m_daemon.terminate();
        if (!m_daemon.waitForFinished(5000)) {
            m_daemon.kill();
            m_daemon.waitForFinished();
        }
    }
    m_bus.stop();
}

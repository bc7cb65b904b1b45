#include "tests/support/PrivateSessionBus.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>

#include <csignal>
#include <sys/prctl.h>

namespace {

constexpr int startTimeoutMs = 10000;

QString dbusDaemon()
{
    const QString onPath = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    return onPath.isEmpty() ? QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"), {QStringLiteral("/usr/bin")})
                            : onPath;
}

} // namespace

QString PrivateSessionBus::missingPrerequisite()
{
    return dbusDaemon().isEmpty() ? QStringLiteral("dbus-daemon is not installed (Debian package dbus-daemon)")
                                  : QString();
}

QString PrivateSessionBus::start(const QString &runtimeFolder)
{
    m_runtimeFolder = runtimeFolder;
    if (!QDir().mkpath(m_runtimeFolder) ||
        !QFile::setPermissions(m_runtimeFolder,
                               QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner))
        return QStringLiteral("cannot make %1").arg(m_runtimeFolder);

    const QString configuration = m_runtimeFolder + QStringLiteral("/session-bus.conf");
    QFile file(configuration);
    const QString text =
        QStringLiteral("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                       " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                       "<busconfig>\n"
                       "  <type>session</type>\n"
                       "  <listen>unix:path=%1/bus</listen>\n"
                       "  <auth>EXTERNAL</auth>\n"
                       "  <policy context=\"default\">\n"
                       "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                       "    <allow eavesdrop=\"true\"/>\n"
                       "    <allow own=\"*\"/>\n"
                       "  </policy>\n"
                       "</busconfig>\n")
            .arg(m_runtimeFolder.toHtmlEscaped());
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0)
        return QStringLiteral("cannot write %1").arg(configuration);
    file.close();

    // Ends with the test, even one killed at its time-out.
    m_daemon.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
    m_daemon.start(dbusDaemon(), {QStringLiteral("--config-file=") + configuration, QStringLiteral("--nofork"),
                                  QStringLiteral("--print-address=1")});
    if (!m_daemon.waitForStarted())
        return QStringLiteral("dbus-daemon did not start");
    QByteArray printed;
    QElapsedTimer waited;
    waited.start();
    while (!printed.contains('\n') && m_daemon.state() == QProcess::Running && waited.elapsed() < startTimeoutMs) {
        m_daemon.waitForReadyRead(20);
        printed += m_daemon.readAllStandardOutput();
    }
    m_address = QString::fromUtf8(printed.left(printed.indexOf('\n')));
    if (!printed.contains('\n') || m_address.isEmpty())
        return QStringLiteral("dbus-daemon did not start: ") + QString::fromUtf8(m_daemon.readAllStandardError());
    return {};
}

void PrivateSessionBus::stop()
{
    if (m_daemon.state() == QProcess::NotRunning)
        return;
    m_daemon.terminate();
    if (!m_daemon.waitForFinished(5000)) {
        m_daemon.kill();
        m_daemon.waitForFinished();
    }
}

void PrivateSessionBus::addTo(QProcessEnvironment &environment) const
{
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_address);
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtimeFolder);
}

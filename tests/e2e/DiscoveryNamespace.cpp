#include "tests/e2e/DiscoveryNamespace.h"

#include "tests/e2e/EndToEndSupport.h"
#include "tests/e2e/ProcessTree.h"

#include <QDir>
#include <QFile>

#include <unistd.h>

namespace {

const QStringList systemFolders{QStringLiteral("/usr/sbin"), QStringLiteral("/sbin"), QStringLiteral("/usr/bin")};
// Inside the namespace's own /run.
const QString busAddress = QStringLiteral("unix:path=/run/dbus/system_bus_socket");

bool writeFile(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size();
}

// Reads a process's output until `marker` appears; false if it ends first
// or takes longer than timeoutMs.
bool waitForOutput(QProcess &process, const QByteArray &marker, int timeoutMs, QByteArray *seen)
{
    return processtree::waitUntil([&] {
        process.waitForReadyRead(20);
        *seen += process.readAllStandardOutput() + process.readAllStandardError();
        return seen->contains(marker) || process.state() == QProcess::NotRunning;
    }, timeoutMs) && seen->contains(marker);
}

} // namespace

QString DiscoveryNamespace::start(const QString &folder)
{
    if (geteuid() != 0)
        return QStringLiteral("a network namespace needs root");
    m_folder = folder;
    const QString unshare = processtree::findProgram(QStringLiteral("unshare"), systemFolders);
    m_nsenter = processtree::findProgram(QStringLiteral("nsenter"), systemFolders);
    const QString ip = processtree::findProgram(QStringLiteral("ip"), systemFolders);
    const QString busDaemon = processtree::findProgram(QStringLiteral("dbus-daemon"), systemFolders);
    const QString avahiDaemon = processtree::findProgram(QStringLiteral("avahi-daemon"), systemFolders);
    for (const auto &[name, path] : {std::pair{"unshare", unshare}, std::pair{"nsenter", m_nsenter},
                                     std::pair{"ip (iproute2)", ip}, std::pair{"dbus-daemon", busDaemon},
                                     std::pair{"avahi-daemon", avahiDaemon}}) {
        if (path.isEmpty())
            return QStringLiteral("%1 is not installed").arg(QString::fromLatin1(name));
    }

    // The holder keeps the namespaces alive; everything else joins them.
    // A tmpfs over /run hides the machine's bus socket and gives the
    // daemons a /run of their own for their pid files and sockets. The
    // refresh checks for a route off loopback before it sends: a blackhole
    // route to a documentation range is one, and nothing can travel on it.
    processtree::endWithThisProcess(m_holder);
    m_holder.start(unshare, {QStringLiteral("--net"), QStringLiteral("--mount"), QStringLiteral("--propagation"),
                             QStringLiteral("private"), QStringLiteral("--"), QStringLiteral("/bin/sh"),
                             QStringLiteral("-c"),
                             QStringLiteral("mount -t tmpfs -o mode=755 tmpfs /run && mkdir /run/dbus && "
                                            "%1 link set lo up && %1 link set lo multicast on && "
                                            "%1 route add blackhole 192.0.2.0/24 && echo ready && "
                                            "exec sleep 100000")
                                 .arg(ip)});
    QByteArray seen;
    if (!m_holder.waitForStarted() || !waitForOutput(m_holder, "ready\n", 10000, &seen))
        return QStringLiteral("cannot make a network namespace: ") + QString::fromUtf8(seen).trimmed();

    const QString busConfig = QDir(folder).filePath(QStringLiteral("system-bus.conf"));
    if (!writeFile(busConfig,
                   "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                   " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                   "<busconfig><type>system</type>"
                   "<listen>unix:path=/run/dbus/system_bus_socket</listen><auth>EXTERNAL</auth>"
                   "<policy context=\"default\"><allow user=\"*\"/><allow own=\"*\"/>"
                   "<allow send_destination=\"*\"/><allow receive_sender=\"*\"/></policy></busconfig>\n"))
        return QStringLiteral("cannot write the bus configuration");
    launch(m_bus, busDaemon, {QStringLiteral("--nofork"), QStringLiteral("--print-address"),
                              QStringLiteral("--config-file=") + busConfig});
    seen.clear();
    if (!m_bus.waitForStarted() || !waitForOutput(m_bus, "unix:path=", 10000, &seen))
        return QStringLiteral("the namespace's dbus-daemon did not start: ") + QString::fromUtf8(seen).trimmed();

    if (!writeFile(QDir(folder).filePath(QStringLiteral("avahi-daemon.conf")),
                   "[server]\nhost-name=orvana-e2e\nuse-ipv4=yes\nuse-ipv6=yes\nallow-interfaces=lo\n"
                   "enable-dbus=yes\n[wide-area]\nenable-wide-area=no\n[publish]\npublish-workstation=no\n"
                   "publish-hinfo=no\npublish-addresses=yes\n[reflector]\nenable-reflector=no\n[rlimits]\n"))
        return QStringLiteral("cannot write the Avahi configuration");
    return startAvahi();
}

QString DiscoveryNamespace::startAvahi()
{
    const QString avahiDaemon = processtree::findProgram(QStringLiteral("avahi-daemon"), systemFolders);
    launch(m_avahi, avahiDaemon, {QStringLiteral("--file=") + QDir(m_folder).filePath(QStringLiteral("avahi-daemon.conf")),
                                  QStringLiteral("--no-drop-root"), QStringLiteral("--no-chroot"),
                                  QStringLiteral("--no-rlimits")});
    QByteArray seen;
    if (!m_avahi.waitForStarted() || !waitForOutput(m_avahi, "Server startup complete", 15000, &seen))
        return QStringLiteral("the namespace's avahi-daemon did not start: ") + QString::fromUtf8(seen).trimmed();
    return {};
}

void DiscoveryNamespace::killAvahi()
{
    m_avahi.kill();
    m_avahi.waitForFinished();
}

void DiscoveryNamespace::stop()
{
    processtree::stop(m_avahi);
    processtree::stop(m_bus);
    processtree::stop(m_holder);
}

void DiscoveryNamespace::launch(QProcess &process, const QString &program, const QStringList &arguments)
{
    const QString target = QString::number(m_holder.processId());
    process.setProcessEnvironment(environment(m_folder));
    processtree::endWithThisProcess(process);
    // nsenter joins and then becomes the program: the process is the program.
    process.start(m_nsenter, QStringList{QStringLiteral("--target"), target, QStringLiteral("--net"),
                                         QStringLiteral("--mount"), QStringLiteral("--"), program} +
                                 arguments);
}

QProcessEnvironment DiscoveryNamespace::environment(const QString &home) const
{
    QProcessEnvironment environment = cliEnvironment(home);
    environment.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), busAddress);
    return environment;
}

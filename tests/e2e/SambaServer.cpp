#include "tests/e2e/SambaServer.h"

#include "tests/e2e/ProcessTree.h"

#include <QDir>
#include <QFile>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int startTimeoutMs = 15000;

struct Socket {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ~Socket()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

sockaddr_in loopback(quint16 port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

// A port no one listens on now; smbd takes it a moment later (a start that
// loses the race is tried again with another).
quint16 freeLoopbackPort()
{
    Socket socket;
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    if (socket.fd < 0 || ::bind(socket.fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ::getsockname(socket.fd, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return 0;
    return ntohs(address.sin_port);
}

bool accepts(quint16 port)
{
    Socket socket;
    const sockaddr_in address = loopback(port);
    return socket.fd >= 0 && ::connect(socket.fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
}

QString programPath(const QString &name)
{
    return processtree::findProgram(name, {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin")});
}

} // namespace

QString SambaServer::missingPrerequisite()
{
    for (const char *program : {"smbd", "smbpasswd"}) {
        if (programPath(QLatin1String(program)).isEmpty())
            return QStringLiteral("%1 is not installed (Debian package samba)").arg(QLatin1String(program));
    }
    if (geteuid() != 0)
        return QStringLiteral("smbd needs root to serve a share as its user");
    return {};
}

QString SambaServer::shareFolder() const
{
    return m_folder + QStringLiteral("/share");
}

QString SambaServer::logTail() const
{
    QFile log(m_folder + QStringLiteral("/log/smbd.log"));
    if (!log.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(log.readAll().right(4000));
}

QString SambaServer::writeConfiguration(const QString &shareName, const QString &userName) const
{
    const QDir folder(m_folder);
    for (const char *name : {"private", "lock", "state", "cache", "pid", "ncalrpc", "log", "share"}) {
        if (!folder.mkpath(QLatin1String(name)))
            return QStringLiteral("cannot make %1").arg(folder.filePath(QLatin1String(name)));
    }
    const QString text = QStringLiteral("[global]\n"
                                        "server role = standalone server\n"
                                        "smb ports = %1\n"
                                        "interfaces = 127.0.0.1\n"
                                        "bind interfaces only = yes\n"
                                        "disable netbios = yes\n"
                                        "private dir = %2/private\n"
                                        "lock directory = %2/lock\n"
                                        "state directory = %2/state\n"
                                        "cache directory = %2/cache\n"
                                        "pid directory = %2/pid\n"
                                        "ncalrpc dir = %2/ncalrpc\n"
                                        "log file = %2/log/smbd.log\n"
                                        "log level = 1\n"
                                        "passdb backend = tdbsam:%2/private/passdb.tdb\n"
                                        "map to guest = never\n"
                                        "load printers = no\n"
                                        "printcap name = /dev/null\n"
                                        "disable spoolss = yes\n"
                                        "[%3]\n"
                                        "path = %2/share\n"
                                        "read only = no\n"
                                        "valid users = %4\n")
                             .arg(m_port)
                             .arg(m_folder, shareName, userName);
    QFile configuration(folder.filePath(QStringLiteral("smb.conf")));
    if (!configuration.open(QIODevice::WriteOnly) || configuration.write(text.toUtf8()) < 0)
        return QStringLiteral("cannot write %1").arg(configuration.fileName());
    return {};
}

QString SambaServer::addUser(const QString &userName, const QString &password) const
{
    // The password goes in on standard input (twice, as asked), never as an argument.
    QProcess smbpasswd;
    smbpasswd.start(programPath(QStringLiteral("smbpasswd")),
                    {QStringLiteral("-c"), m_folder + QStringLiteral("/smb.conf"), QStringLiteral("-s"),
                     QStringLiteral("-a"), userName});
    const QByteArray line = password.toUtf8() + '\n';
    smbpasswd.write(line + line);
    smbpasswd.closeWriteChannel();
    if (!smbpasswd.waitForFinished(startTimeoutMs) || smbpasswd.exitStatus() != QProcess::NormalExit ||
        smbpasswd.exitCode() != 0) {
        smbpasswd.kill();
        smbpasswd.waitForFinished();
        return QStringLiteral("smbpasswd could not add %1: %2")
            .arg(userName, QString::fromUtf8(smbpasswd.readAllStandardError() + smbpasswd.readAllStandardOutput()));
    }
    return {};
}

QString SambaServer::start(const QString &folder, const QString &shareName, const QString &userName,
                           const QString &password)
{
    m_folder = folder;
    QString problem;
    for (int attempt = 0; attempt < 3; ++attempt) {
        m_port = freeLoopbackPort();
        if (m_port == 0)
            return QStringLiteral("no free port on 127.0.0.1");
        problem = writeConfiguration(shareName, userName);
        if (problem.isNull() && attempt == 0)
            problem = addUser(userName, password);
        if (!problem.isNull())
            return problem;
        m_smbd.setProcessChannelMode(QProcess::MergedChannels);
        processtree::endWithThisProcess(m_smbd);
        // smbd keeps its own process group: when it stops, it signals its whole group.
        m_smbd.start(programPath(QStringLiteral("smbd")),
                     {QStringLiteral("--foreground"), QStringLiteral("-s"), m_folder + QStringLiteral("/smb.conf")});
        if (!m_smbd.waitForStarted())
            return QStringLiteral("smbd did not start");
        if (processtree::waitUntil([this] { return m_smbd.state() != QProcess::Running || accepts(m_port); },
                                   startTimeoutMs) &&
            m_smbd.state() == QProcess::Running)
            return {};
        problem = QStringLiteral("smbd did not listen on 127.0.0.1:%1: %2\n%3")
                      .arg(m_port)
                      .arg(QString::fromUtf8(m_smbd.readAll()), logTail());
        stop();
    }
    return problem;
}

void SambaServer::stop()
{
    // smbd's parent ends the rest of its process group when it stops.
    processtree::stop(m_smbd);
}

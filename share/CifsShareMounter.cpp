#include "share/CifsShareMounter.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryFile>

#include <unistd.h>

namespace {

bool fitsCredentialsLine(const QString &text)
{
    return !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')) && !text.contains(QChar(0));
}

} // namespace

CifsShareMounter::CifsShareMounter(QString volumesFolder, QString program, int timeoutSeconds)
    : m_volumesFolder(std::move(volumesFolder)), m_program(std::move(program)), m_timeoutSeconds(timeoutSeconds)
{
}

QString CifsShareMounter::mountPointFor(const MountRequest &request) const
{
    const QString name = request.volName.isEmpty() ? request.shareName : request.volName;
    return QDir(m_volumesFolder).filePath(name);
}

QStringList CifsShareMounter::arguments(const MountRequest &request, const QString &mountPoint,
                                        const QString &credentialsPath)
{
    const QString options = QStringLiteral("credentials=%1,uid=%2,gid=%3,iocharset=utf8")
                                .arg(credentialsPath)
                                .arg(getuid())
                                .arg(getgid());
    return {QStringLiteral("//%1/%2").arg(request.server, request.shareName), mountPoint, QStringLiteral("-o"),
            options};
}

MountOutcome CifsShareMounter::mount(const MountRequest &request) const
{
    MountOutcome outcome;
    if (!fitsCredentialsLine(request.userName) || !fitsCredentialsLine(request.password)) {
        outcome.reason = QStringLiteral("the user name or password holds a line break, which mount.cifs cannot take");
        return outcome;
    }
    const QString mountPoint = mountPointFor(request);
    if (!QDir().mkpath(mountPoint)) {
        outcome.reason = QStringLiteral("cannot create the mount point %1").arg(mountPoint);
        return outcome;
    }
    // QTemporaryFile creates its file with mode 0600.
    QTemporaryFile credentials(QDir::tempPath() + QStringLiteral("/orvanasync-credentials-XXXXXX"));
    if (!credentials.open()) {
        outcome.reason = QStringLiteral("cannot create a credentials file: ") + credentials.errorString();
        return outcome;
    }
    credentials.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QByteArray content = "username=" + request.userName.toUtf8() + "\npassword=" + request.password.toUtf8() + '\n';
    const bool written = credentials.write(content) == content.size() && credentials.flush();
    content.fill('\0');
    if (!written) {
        outcome.reason = QStringLiteral("cannot write the credentials file: ") + credentials.errorString();
        return outcome;
    }

    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("PASSWD"));
    environment.remove(QStringLiteral("PASSWD_FILE"));
    // The command line's password variable is ours, not the helper's.
    environment.remove(QStringLiteral("ORVANASYNC_PASSWORD"));
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(m_program, arguments(request, mountPoint, credentials.fileName()));
    if (!process.waitForStarted()) {
        outcome.status = -1;
        outcome.reason = QStringLiteral("cannot start %1: %2").arg(m_program, process.errorString());
        return outcome;
    }
    if (!process.waitForFinished(m_timeoutSeconds * 1000)) {
        process.kill();
        process.waitForFinished();
        outcome.status = -1;
        outcome.reason = QStringLiteral("%1 did not finish within %2 seconds").arg(m_program).arg(m_timeoutSeconds);
        return outcome;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        outcome.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        outcome.reason = QString::fromLocal8Bit(process.readAll()).trimmed();
        return outcome;
    }
    outcome.status = 0;
    outcome.mountPoint = mountPoint;
    return outcome;
}

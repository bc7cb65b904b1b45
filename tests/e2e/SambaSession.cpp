// samba_session FOLDER COMMAND [ARGUMENT...]
//
// Runs a command beside a Samba server and a GVfs session of its own, the
// ones the end-to-end tests use, and stops them when it ends: for timing
// runs over SMB (bench/sync_over_smb.sh). Everything lives in FOLDER and
// listens on 127.0.0.1 only. The command's environment holds the session's
// bus and runtime folder, and
//   SAMBA_SERVER         127.0.0.1:<port> of smbd
//   SAMBA_USER           the user the share is served to (the caller)
//   SAMBA_PASSWORD_FILE  a file holding that user's password
//   SAMBA_SHARE_FOLDER   the folder the share "OrvanaMusic" serves
//   GVFS_FUSE_FOLDER     where GVfs shows each mounted share, a folder each
// Needs root (smbd switches to the user), smbd, gvfsd and /dev/fuse. The
// exit status is the command's.

#include "tests/e2e/GvfsSession.h"
#include "tests/e2e/ProcessTree.h"
#include "tests/e2e/SambaServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>

#include <cstdio>
#include <pwd.h>
#include <unistd.h>

namespace {

int fail(const QString &why)
{
    std::fprintf(stderr, "samba_session: %s\n", qPrintable(why));
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    if (arguments.size() < 3)
        return fail(QStringLiteral("usage: samba_session FOLDER COMMAND [ARGUMENT...]"));
    for (const QString &missing : {SambaServer::missingPrerequisite(), GvfsSession::missingPrerequisite()}) {
        if (!missing.isNull())
            return fail(missing);
    }
    const QDir folder(arguments.at(1));
    if (!folder.mkpath(QStringLiteral(".")))
        return fail(QStringLiteral("cannot make ") + folder.path());
    const passwd *user = ::getpwuid(::geteuid());
    if (!user)
        return fail(QStringLiteral("who is running this?"));
    const QString userName = QString::fromLocal8Bit(user->pw_name);
    const QString password = QStringLiteral("Bench-%1").arg(QRandomGenerator::system()->generate64(), 0, 16);
    const QString passwordFile = folder.filePath(QStringLiteral("password"));
    QFile file(passwordFile);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(password.toUtf8() + '\n') <= 0)
        return fail(QStringLiteral("cannot write ") + passwordFile);
    file.close();
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);

    processtree::adoptOrphans();
    SambaServer samba;
    GvfsSession gvfs;
    const QString home = folder.filePath(QStringLiteral("home"));
    if (const QString failure =
            samba.start(folder.filePath(QStringLiteral("samba")), QStringLiteral("OrvanaMusic"), userName, password);
        !failure.isNull())
        return fail(failure);
    if (const QString failure = gvfs.start(folder.filePath(QStringLiteral("run")), home); !failure.isNull())
        return fail(failure);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    environment.insert(QStringLiteral("HOME"), home);
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home);
    gvfs.addTo(environment);
    environment.insert(QStringLiteral("SAMBA_SERVER"), QStringLiteral("127.0.0.1:%1").arg(samba.port()));
    environment.insert(QStringLiteral("SAMBA_USER"), userName);
    environment.insert(QStringLiteral("SAMBA_PASSWORD_FILE"), passwordFile);
    environment.insert(QStringLiteral("SAMBA_SHARE_FOLDER"), samba.shareFolder());
    environment.insert(QStringLiteral("GVFS_FUSE_FOLDER"), gvfs.fuseFolder());
    QProcess command;
    command.setProcessEnvironment(environment);
    command.setProcessChannelMode(QProcess::ForwardedChannels);
    command.setInputChannelMode(QProcess::ForwardedInputChannel);
    command.start(arguments.at(2), arguments.mid(3));
    const bool finished = command.waitForFinished(-1);
    const int status = finished && command.exitStatus() == QProcess::NormalExit ? command.exitCode() : 1;
    gvfs.stop();
    samba.stop();
    processtree::stopDescendants(5000);
    return status;
}

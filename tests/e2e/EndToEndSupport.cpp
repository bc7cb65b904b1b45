#include "tests/e2e/EndToEndSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

QProcessEnvironment cliEnvironment(const QString &home)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("ORVANASYNC_PASSWORD"));
    environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home);
    environment.insert(QStringLiteral("HOME"), home);
    return environment;
}

CliResult runCli(const QStringList &arguments, const QProcessEnvironment &environment, const QByteArray &password,
                 int timeoutMs)
{
    QProcess cli;
    cli.setProcessEnvironment(environment);
    cli.start(QStringLiteral(ORVANA_CLI_PATH), arguments);
    EXPECT_TRUE(cli.waitForStarted());
    QFile commandLine(QStringLiteral("/proc/%1/cmdline").arg(cli.processId()));
    if (commandLine.open(QIODevice::ReadOnly)) {
        EXPECT_TRUE(password.isEmpty() || !commandLine.readAll().contains(password))
            << "the password is on the command line";
    }
    if (!cli.waitForFinished(timeoutMs)) {
        ADD_FAILURE() << "orvanasync-cli did not finish within " << timeoutMs << " ms";
        cli.kill();
        cli.waitForFinished();
    }
    return {cli.exitCode(), QString::fromUtf8(cli.readAllStandardOutput()),
            QString::fromUtf8(cli.readAllStandardError())};
}

QString makeSampleLibrary(const QString &folder, const QStringList &extra)
{
    QProcess maker;
    maker.start(QStringLiteral("python3"), QStringList{QStringLiteral(ORVANA_SAMPLE_MAKER), folder} + extra);
    if (!maker.waitForFinished(60000)) {
        maker.kill();
        maker.waitForFinished();
        return QStringLiteral("the sample library maker did not finish");
    }
    if (maker.exitStatus() != QProcess::NormalExit || maker.exitCode() != 0)
        return QStringLiteral("the sample library maker failed: ") + QString::fromUtf8(maker.readAllStandardError());
    return {};
}

QStringList filesBelow(const QString &folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(QDir(folder).relativeFilePath(it.next()));
    files.sort();
    return files;
}

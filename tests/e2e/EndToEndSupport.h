#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// What the end-to-end tests share: running the real orvanasync-cli and the
// sample-library maker, and listing what a run left on a share.

struct CliResult {
    int exitCode = -1;
    QString out;
    QString err;
};

// This process's environment without a stored password or a session bus,
// with HOME and XDG_RUNTIME_DIR in `home`: a run touches nothing of the user's.
QProcessEnvironment cliEnvironment(const QString &home);

// Runs orvanasync-cli to its end. The test fails when `password` stands on
// the command line of the running program or the run outlasts timeoutMs.
CliResult runCli(const QStringList &arguments, const QProcessEnvironment &environment, const QByteArray &password,
                 int timeoutMs = 90000);

// Makes the sample library (tagged audio files, covers, two playlists and
// Library.xml) in `folder`; answers the maker's complaint, or null.
QString makeSampleLibrary(const QString &folder, const QStringList &extra = {});

// The files below `folder` (hidden ones too), relative to it and sorted.
QStringList filesBelow(const QString &folder);

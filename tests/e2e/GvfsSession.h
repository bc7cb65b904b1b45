#pragma once

#include "tests/support/PrivateSessionBus.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// A desktop session's file services for one test: a private D-Bus session
// bus (dbus-daemon) and the GVfs daemon, which starts gvfsd-fuse on
// <runtime folder>/gvfs. Nothing can be activated on the bus, so no other
// service of the machine joins in.
class GvfsSession {
public:
    ~GvfsSession() { stop(); }

    // Why GVfs cannot run here (a missing program, no /dev/fuse), or null.
    static QString missingPrerequisite();

    // Starts the bus and gvfsd and waits until the FUSE folder is mounted;
    // answers why it could not, or null. `home` is the daemons' home.
    QString start(const QString &runtimeFolder, const QString &home);
    // Unmounts every SMB share, stops gvfsd (gvfsd-fuse leaves with it,
    // else the FUSE folder is unmounted here) and the bus.
    void stop();

    // What a program of this session needs: the bus, the runtime folder.
    void addTo(QProcessEnvironment &environment) const;
    // Where gvfsd-fuse shows the mounts, one folder each.
    QString fuseFolder() const { return m_runtimeFolder + QStringLiteral("/gvfs"); }
    QStringList mountFolders() const;

private:
    bool fuseMounted() const;
    int runGio(const QStringList &arguments) const;

    QString m_runtimeFolder;
    QString m_home;
    PrivateSessionBus m_bus;
    QProcess m_gvfsd;
};

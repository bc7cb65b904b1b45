#include "tests/e2e/GvfsSession.h"

#include "tests/e2e/ProcessTree.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

constexpr int startTimeoutMs = 10000;
constexpr int stopTimeoutMs = 5000;

QString libexecProgram(const QString &name)
{
    return processtree::findProgram(
        name, {QStringLiteral("/usr/libexec"), QStringLiteral("/usr/lib/gvfs"), QStringLiteral("/usr/libexec/gvfs")});
}

QString fusermount()
{
    const QString fuse3 = processtree::findProgram(QStringLiteral("fusermount3"), {QStringLiteral("/usr/bin")});
    return fuse3.isEmpty() ? processtree::findProgram(QStringLiteral("fusermount"), {QStringLiteral("/usr/bin")})
                           : fuse3;
}

} // namespace

QString GvfsSession::missingPrerequisite()
{
    for (const char *program : {"dbus-daemon", "gio"}) {
        if (processtree::findProgram(QLatin1String(program), {QStringLiteral("/usr/bin")}).isEmpty())
            return QStringLiteral("%1 is not installed").arg(QLatin1String(program));
    }
    for (const char *program : {"gvfsd", "gvfsd-smb", "gvfsd-fuse"}) {
        if (libexecProgram(QLatin1String(program)).isEmpty())
            return QStringLiteral("%1 is not installed (Debian packages gvfs-daemons, gvfs-backends, gvfs-fuse)")
                .arg(QLatin1String(program));
    }
    if (fusermount().isEmpty())
        return QStringLiteral("fusermount is not installed (Debian package fuse3)");
    if (!QFileInfo::exists(QStringLiteral("/dev/fuse")))
        return QStringLiteral("there is no /dev/fuse");
    return {};
}

void GvfsSession::addTo(QProcessEnvironment &environment) const
{
    m_bus.addTo(environment);
    // The disk, phone and camera monitors cannot start on this bus; GIO
    // would say so on every program's standard error.
    environment.insert(QStringLiteral("GVFS_REMOTE_VOLUME_MONITOR_IGNORE"), QStringLiteral("1"));
}

QStringList GvfsSession::mountFolders() const
{
    return QDir(fuseFolder()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
}

bool GvfsSession::fuseMounted() const
{
    QFile mountInfo(QStringLiteral("/proc/self/mountinfo"));
    if (!mountInfo.open(QIODevice::ReadOnly))
        return false;
    const QByteArray point = ' ' + QFile::encodeName(fuseFolder()) + ' ';
    for (const QByteArray &line : mountInfo.readAll().split('\n')) {
        if (line.contains(point) && line.contains(" - fuse.gvfsd-fuse "))
            return true;
    }
    return false;
}

QString GvfsSession::start(const QString &runtimeFolder, const QString &home)
{
    m_runtimeFolder = runtimeFolder;
    m_home = home;
    if (!QDir().mkpath(m_runtimeFolder) || !QDir().mkpath(m_home) ||
        !QFile::setPermissions(m_runtimeFolder,
                               QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner))
        return QStringLiteral("cannot make %1").arg(m_runtimeFolder);

    if (const QString problem = m_bus.start(m_runtimeFolder); !problem.isNull())
        return problem;

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    addTo(environment);
    environment.insert(QStringLiteral("HOME"), m_home);
    m_gvfsd.setProcessEnvironment(environment);
    m_gvfsd.setProcessChannelMode(QProcess::MergedChannels);
    processtree::endWithThisProcess(m_gvfsd);
    m_gvfsd.start(libexecProgram(QStringLiteral("gvfsd")), QStringList());
    if (!m_gvfsd.waitForStarted())
        return QStringLiteral("gvfsd did not start");
    // gvfsd starts gvfsd-fuse once it owns its bus name.
    if (!processtree::waitUntil([this] { return fuseMounted() || m_gvfsd.state() != QProcess::Running; },
                                startTimeoutMs) ||
        !fuseMounted())
        return QStringLiteral("gvfsd did not mount its FUSE folder %1: %2")
            .arg(fuseFolder(), QString::fromUtf8(m_gvfsd.readAll()));
    return {};
}

int GvfsSession::runGio(const QStringList &arguments) const
{
    QProcess gio;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    addTo(environment);
    environment.insert(QStringLiteral("HOME"), m_home);
    gio.setProcessEnvironment(environment);
    gio.start(processtree::findProgram(QStringLiteral("gio"), {QStringLiteral("/usr/bin")}), arguments);
    if (!gio.waitForFinished(startTimeoutMs)) {
        gio.kill();
        gio.waitForFinished();
        return -1;
    }
    return gio.exitStatus() == QProcess::NormalExit ? gio.exitCode() : -1;
}

void GvfsSession::stop()
{
    if (m_gvfsd.state() != QProcess::NotRunning && m_bus.running())
        runGio({QStringLiteral("mount"), QStringLiteral("--unmount-scheme"), QStringLiteral("smb")});
    processtree::stop(m_gvfsd, stopTimeoutMs);
    if (!m_runtimeFolder.isEmpty() && !processtree::waitUntil([this] { return !fuseMounted(); }, stopTimeoutMs)) {
        QProcess unmount;
        unmount.start(fusermount(), {QStringLiteral("-u"), QStringLiteral("-z"), fuseFolder()});
        unmount.waitForFinished(stopTimeoutMs);
    }
    m_bus.stop();
}

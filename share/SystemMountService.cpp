#include "share/SystemMountService.h"

#include "share/CifsShareMounter.h"
#include "share/GvfsShares.h"
#include "share/MountInfoReader.h"

#include <QFileInfo>
#include <QStandardPaths>

#include <unistd.h>

SystemMountService::SystemMountService(Method method, QString volumesFolder, QString mountCifsProgram)
    : m_method(method), m_volumesFolder(std::move(volumesFolder)), m_mountCifsProgram(std::move(mountCifsProgram))
{
}

QString SystemMountService::defaultVolumesFolder()
{
    return QStringLiteral("/mnt");
}

SystemMountService::Method SystemMountService::methodFromName(const QString &name)
{
    if (name.compare(QLatin1String("gvfs"), Qt::CaseInsensitive) == 0)
        return Method::Gvfs;
    if (name.compare(QLatin1String("cifs"), Qt::CaseInsensitive) == 0)
        return Method::Cifs;
    return Method::Automatic;
}

bool SystemMountService::isMethodName(const QString &name)
{
    for (const char *known : {"auto", "gvfs", "cifs"}) {
        if (name.compare(QLatin1String(known), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

SystemMountService::Method SystemMountService::effectiveMethod() const
{
    if (m_method != Method::Automatic)
        return m_method;
    return geteuid() == 0 && mountCifsInstalled() ? Method::Cifs : Method::Gvfs;
}

bool SystemMountService::mountCifsInstalled() const
{
    if (m_mountCifsProgram.contains(QLatin1Char('/')))
        return QFileInfo(m_mountCifsProgram).isExecutable();
    return !QStandardPaths::findExecutable(m_mountCifsProgram).isEmpty() ||
           !QStandardPaths::findExecutable(m_mountCifsProgram, {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")})
                .isEmpty();
}

QList<MountedVolume> SystemMountService::mountedVolumes()
{
    QList<MountedVolume> volumes;
    for (const QString &point : MountInfoReader::currentMountPoints())
        volumes.append({MountInfoReader::volumeName(point), point});
    volumes.append(GvfsShares::mountedShares());
    return volumes;
}

MountOutcome SystemMountService::mount(const MountRequest &request)
{
    if (effectiveMethod() == Method::Cifs)
        return CifsShareMounter(m_volumesFolder, m_mountCifsProgram, defaultTimeoutSeconds).mount(request);
    return GvfsShares::mount(request, defaultTimeoutSeconds);
}

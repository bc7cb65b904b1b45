#include "cli/SyncPreflight.h"

#include "app/OrvanaSyncAppDelegate.h"
#include "share/GvfsShares.h"
#include "share/ManageVolumes.h"
#include "share/SystemMountService.h"

#include <QFileInfo>

#include <unistd.h>

SyncPreflight::Machine SyncPreflight::systemMachine(const QString &mountCifsProgram)
{
    Machine machine;
    machine.volumeMounted = [](const QString &volumeName) { return ManageVolumes::isVolumeMounted(volumeName); };
    machine.mountCifsInstalled = [mountCifsProgram] {
        return SystemMountService(SystemMountService::Method::Cifs, SystemMountService::defaultVolumesFolder(),
                                  mountCifsProgram)
            .mountCifsInstalled();
    };
    machine.sessionBusAvailable = [] { return GvfsShares::sessionBusAvailable(); };
    machine.runningAsRoot = [] { return geteuid() == 0; };
    return machine;
}

QString SyncPreflight::hostOf(const QString &server)
{
    const QString text = server.trimmed();
    if (text.isEmpty() || text.contains(QLatin1Char(':')))
        return {};
    return text;
}

QString SyncPreflight::unresolvedHostMessage(const QString &host)
{
    return QStringLiteral("the server name %1 does not resolve: check its spelling and the network, or give the "
                          "server's IPv4 address with --server ADDRESS; no refresh was sent")
        .arg(host);
}

std::optional<SyncPreflight::Problem> SyncPreflight::check(const Inputs &inputs, const Machine &machine)
{
    if (!inputs.mountMethod.isEmpty() && !SystemMountService::isMethodName(inputs.mountMethod)) {
        return Problem{QStringLiteral("unknown MountMethod \"%1\" in %2: use auto, gvfs or cifs (orvanasync-cli config "
                                      "set MountMethod auto)")
                           .arg(inputs.mountMethod, inputs.settingsFile),
                       2};
    }
    if (!inputs.shareFolder.isNull()) {
        if (!QFileInfo(inputs.shareFolder).isDir()) {
            return Problem{QStringLiteral("the share folder %1 does not exist or is not a folder: mount the share "
                                          "there first, or leave out --share-folder (orvanasync-cli config unset "
                                          "ShareFolder if it is stored)")
                               .arg(inputs.shareFolder),
                           2};
        }
        return std::nullopt;
    }
    if (inputs.server.trimmed().isEmpty()) {
        return Problem{QStringLiteral("no server given or stored: give --server ADDRESS, or store it with "
                                      "orvanasync-cli config set MusicServerIPAddress ADDRESS"),
                       2};
    }
    if (machine.volumeMounted(OrvanaSyncAppDelegate::ShareName))
        return std::nullopt;
    // The share has to be mounted: can it be, here?
    const SystemMountService::Method method = SystemMountService::methodFromName(inputs.mountMethod);
    const bool cifs = method == SystemMountService::Method::Cifs ||
                      (method == SystemMountService::Method::Automatic && machine.runningAsRoot() &&
                       machine.mountCifsInstalled());
    if (cifs && !machine.mountCifsInstalled()) {
        return Problem{QStringLiteral("MountMethod is cifs but mount.cifs is not installed: install cifs-utils "
                                      "(apt-get install cifs-utils), or set MountMethod to gvfs (orvanasync-cli config "
                                      "set MountMethod gvfs)"),
                       2};
    }
    if (!cifs && !machine.sessionBusAvailable()) {
        return Problem{QStringLiteral("mounting the share through GVfs needs a D-Bus session bus and there is none: "
                                      "run in a desktop session or under dbus-run-session, or mount the share yourself "
                                      "and give --share-folder DIR, or as root install cifs-utils and set MountMethod "
                                      "to cifs"),
                       2};
    }
    const QString host = hostOf(inputs.server);
    if (!host.isNull() && machine.hostResolves && !machine.hostResolves(host))
        return Problem{unresolvedHostMessage(host), 1};
    return std::nullopt;
}

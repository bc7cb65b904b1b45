#include "share/ManageVolumes.h"

#include "platform/SystemLog.h"
#include "share/SystemMountService.h"

#include <QStringList>
#include <QUrl>

namespace {

std::shared_ptr<MountService> &currentService()
{
    static std::shared_ptr<MountService> service;
    return service;
}

// A method's reason on one line (mount.cifs writes several): its lines,
// trimmed, joined by "; ".
QString oneLine(const QString &reason, int status)
{
    QStringList lines;
    for (const QString &line : reason.split(u'\n')) {
        if (const QString trimmed = line.trimmed(); !trimmed.isEmpty())
            lines.append(trimmed);
    }
    return lines.isEmpty() ? QStringLiteral("error %1").arg(status) : lines.join(QStringLiteral("; "));
}

} // namespace

QString ManageVolumes::shareUrl(const QString &server, const QString &shareName)
{
    const QString text = QStringLiteral("smb://%1/%2").arg(server, shareName);
    // Everything but the unreserved characters and the URL's own
    // separators and sub-delimiters is escaped, "%" included.
    return QString::fromLatin1(QUrl::toPercentEncoding(text, "!#$&'()*+,/:;=?@[]~"));
}

bool ManageVolumes::mountServerShare(const QString &server, const QString &shareName, const QString &volName,
                                     const QString &userName, const QString &password, QString *mountPoint,
                                     QString *failure)
{
    MountRequest request;
    request.shareUrl = shareUrl(server, shareName);
    request.server = server;
    request.shareName = shareName;
    request.volName = volName;
    request.userName = userName;
    request.password = password;
    const MountOutcome outcome = mountService().mount(request);
    if (!outcome.succeeded()) {
        systemLog(QStringLiteral("Sync mount failed for server %1, error: %2").arg(request.shareUrl).arg(outcome.status));
        if (!outcome.reason.isEmpty())
            systemLog(outcome.reason);
        if (failure)
            *failure = oneLine(outcome.reason, outcome.status);
        return false;
    }
    if (mountPoint)
        *mountPoint = outcome.mountPoint;
    return true;
}

bool ManageVolumes::isVolumeMounted(const QString &volumeName, QString *mountPoint)
{
    for (const MountedVolume &volume : mountService().mountedVolumes()) {
        systemDebugLog(volume.name);
        if (volume.name.compare(volumeName, Qt::CaseInsensitive) == 0) {
            if (mountPoint)
                *mountPoint = volume.mountPoint;
            return true;
        }
    }
    return false;
}

void ManageVolumes::setMountService(std::shared_ptr<MountService> service)
{
    currentService() = std::move(service);
}

MountService &ManageVolumes::mountService()
{
    std::shared_ptr<MountService> &service = currentService();
    if (!service)
        service = std::make_shared<SystemMountService>();
    return *service;
}

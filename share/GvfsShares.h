#pragma once

#include "share/MountService.h"

#include <QList>

#include <chrono>

// SMB shares through GVfs, GIO's user-space file systems: the way a
// desktop user mounts without root. The local mount point is the share's
// folder under gvfs-fuse (/run/user/<uid>/gvfs/...).
class GvfsShares {
public:
    // Whether a session bus is there to reach the GVfs daemons; without
    // one GVfs cannot be asked anything.
    static bool sessionBusAvailable();
    // Every SMB share GVfs has mounted, named by its share name.
    static QList<MountedVolume> mountedShares();
    // Mounts request.shareUrl, handing the user name and password to GIO's
    // mount operation (answered at most once, so a wrong password fails
    // instead of asking again). Gives up after timeoutSeconds.
    static MountOutcome mount(const MountRequest &request, int timeoutSeconds);
    // Whether path is a folder, or becomes one within limit: gvfs-fuse
    // shows a share mounted just now a moment later, and until then its
    // folder does not exist.
    static bool waitForFolder(const QString &path, std::chrono::milliseconds limit);
    // The share name of an "smb://host/share/..." URI, or null for any
    // other URI (including a bare "smb://host/" browse location).
    static QString shareNameOfUri(const QString &uri);
};

#pragma once

#include <QList>
#include <QString>

// One mounted volume: its name (the last component of its mount point, or
// the share name of a GVfs SMB mount) and the local folder it is reachable
// at (empty when the volume has no local path).
struct MountedVolume {
    QString name;
    QString mountPoint;
};

// What a mount is asked for. `shareUrl` is the percent-escaped "smb://"
// form; `server` and `shareName` are the raw texts it was made from.
struct MountRequest {
    QString shareUrl;
    QString server;
    QString shareName;
    QString volName; // null: the method's default mount point
    QString userName;
    QString password;
};

// The answer of a mount: status 0 and the local mount point on success,
// otherwise a non-zero status and a developer-facing reason (never the
// password).
struct MountOutcome {
    int status = -1;
    QString mountPoint;
    QString reason;

    bool succeeded() const { return status == 0; }
};

// The operating system's mounting service and volume list, behind an
// interface so that tests can put a fake in its place.
class MountService {
public:
    virtual ~MountService() = default;

    virtual QList<MountedVolume> mountedVolumes() = 0;
    // Blocks until the share is mounted or the mount failed.
    virtual MountOutcome mount(const MountRequest &request) = 0;
};

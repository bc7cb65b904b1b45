#pragma once

#include <QString>

// Whether path lies on a file system each call of which is a round trip to
// a server or to another process: SMB/CIFS and NFS mounts, and FUSE ones
// (GVfs). There, calls made side by side overlap; on a local file system
// handing them to another thread costs more than it saves. False when it
// cannot be told.
bool isRemoteFileSystem(const QString &path);

#pragma once

#include "share/MountService.h"

#include <QString>

#include <memory>

// Mounts the server's SMB share and tells whether a volume of a given name
// is mounted. Class operations over one process-wide MountService (the
// system's unless a test put another in its place); main thread only.
class ManageVolumes {
public:
    // Mounts "smb://<server>/<shareName>" with the user name and password
    // (both passed on unchanged, also when empty). volName names the mount
    // directory, or is null for the method's default. On success the local
    // mount point is stored in *mountPoint. A failure is written to the
    // system log with the escaped URL and the status, and *failure says why
    // (the mounting method's reason, or "error <status>").
    static bool mountServerShare(const QString &server, const QString &shareName, const QString &volName,
                                 const QString &userName, const QString &password, QString *mountPoint = nullptr,
                                 QString *failure = nullptr);
    // Whether a mounted volume has this name, letter case ignored; every
    // name examined goes to the system log. On a match its mount point is
    // stored in *mountPoint.
    static bool isVolumeMounted(const QString &volumeName, QString *mountPoint = nullptr);

    // "smb://%@/%@", percent-escaped for UTF-8 (":" and "/" stay).
    static QString shareUrl(const QString &server, const QString &shareName);

    // Replaces the mounting service; null puts the system's back.
    static void setMountService(std::shared_ptr<MountService> service);
    static MountService &mountService();
};

#pragma once

#include <QByteArray>
#include <QStringList>

// Reads the kernel's table of mounts in the /proc/<pid>/mountinfo format.
class MountInfoReader {
public:
    // The mount point of every well-formed line, in order, with the
    // kernel's octal escapes (\040 for a blank, ...) undone.
    static QStringList mountPoints(const QByteArray &mountInfo);
    // The mount points of this process, from /proc/self/mountinfo (empty
    // when it cannot be read).
    static QStringList currentMountPoints();
    // The last component of a mount point ("" for "/").
    static QString volumeName(const QString &mountPoint);
};

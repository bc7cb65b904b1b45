#pragma once

#include "share/MountService.h"

#include <QString>

// The real mounting service: volumes from /proc/self/mountinfo and GVfs,
// mounts through GVfs (a desktop user) or kernel CIFS (root).
class SystemMountService : public MountService {
public:
    enum class Method {
        Automatic, // kernel CIFS when running as root with mount.cifs installed, else GVfs
        Gvfs,
        Cifs,
    };

    static constexpr int defaultTimeoutSeconds = 60;

    explicit SystemMountService(Method method = Method::Automatic,
                                QString volumesFolder = defaultVolumesFolder(),
                                QString mountCifsProgram = QStringLiteral("mount.cifs"));

    static QString defaultVolumesFolder();
    // "auto", "gvfs" or "cifs" (letter case ignored); anything else is Automatic.
    static Method methodFromName(const QString &name);
    // Whether name is one of "auto", "gvfs" and "cifs" (letter case ignored).
    static bool isMethodName(const QString &name);
    Method effectiveMethod() const;
    // Whether the mount.cifs program (cifs-utils) is on the PATH or in the
    // system program folders.
    bool mountCifsInstalled() const;

    QList<MountedVolume> mountedVolumes() override;
    MountOutcome mount(const MountRequest &request) override;

private:
    Method m_method;
    QString m_volumesFolder;
    QString m_mountCifsProgram;
};

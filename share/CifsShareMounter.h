#pragma once

#include "share/MountService.h"

#include <QString>
#include <QStringList>

// Kernel CIFS mounts through mount.cifs (needs root). The user name and
// password reach mount.cifs through a credentials file that only this
// user can read and that is removed as soon as mount.cifs has finished;
// neither ever stands on its command line.
class CifsShareMounter {
public:
    CifsShareMounter(QString volumesFolder, QString program = QStringLiteral("mount.cifs"), int timeoutSeconds = 60);

    // Mounts //server/share at <volumes folder>/<volName or share name>.
    MountOutcome mount(const MountRequest &request) const;

    // The arguments mount.cifs gets, the credentials file named in them.
    static QStringList arguments(const MountRequest &request, const QString &mountPoint,
                                 const QString &credentialsPath);
    QString mountPointFor(const MountRequest &request) const;

private:
    QString m_volumesFolder;
    QString m_program;
    int m_timeoutSeconds;
};

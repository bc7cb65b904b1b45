#include "library/ShareFiles.h"

#include <QByteArray>

#include <sys/stat.h>

namespace ShareFiles {

bool exists(const QString &path)
{
    struct stat info;
    const QByteArray native = path.toUtf8();
    return ::lstat(native.constData(), &info) == 0;
}

QString parentFolder(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash < 0)
        return QStringLiteral(".");
    if (slash == 0)
        return QStringLiteral("/");
    return path.left(slash);
}

} // namespace ShareFiles

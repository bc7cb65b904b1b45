#include "library/ShareFiles.h"

#include "platform/FileNameSpelling.h"

#include <QByteArray>

#include <sys/stat.h>

namespace ShareFiles {

bool exists(const QString &path)
{
    struct stat info;
    const QByteArray native = path.toUtf8();
    return ::lstat(native.constData(), &info) == 0;
}

namespace {

bool regularFileSize(const QString &path, qint64 *size)
{
    struct stat info;
    if (::stat(path.toUtf8().constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    *size = qint64(info.st_size);
    return true;
}

} // namespace

bool holdsAnotherFile(const QString &path, const QString &sourcePath)
{
    qint64 existingSize = 0;
    qint64 sourceSize = 0;
    if (!regularFileSize(path, &existingSize))
        return true;
    if (!regularFileSize(sourcePath, &sourceSize)) {
        const QString onDisk = FileNameSpelling::onDiskSpellingOfMissing(sourcePath);
        if (onDisk.isNull() || !regularFileSize(onDisk, &sourceSize))
            return false;
    }
    return sourceSize != existingSize;
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

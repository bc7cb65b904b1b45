#include "library/FileReplacement.h"

#include "library/SystemError.h"

#include <QCryptographicHash>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qsizetype MaximumNameBytes = 255;

QByteArray native(const QString &path)
{
    return path.toUtf8();
}

void setError(ErrorRecord *error, int errorNumber, const QString &path)
{
    if (error)
        *error = SystemError::fromErrno(errorNumber, path);
}

bool exists(const QByteArray &path)
{
    struct stat info;
    return ::lstat(path.constData(), &info) == 0;
}

} // namespace

QString FileReplacement::temporaryPathFor(const QString &finalPath)
{
    const qsizetype slash = finalPath.lastIndexOf(u'/');
    const QString folder = finalPath.left(slash + 1);
    const QString name = finalPath.mid(slash + 1);
    QString hidden = QStringLiteral(".") + name + QStringLiteral(".partial");
    if (hidden.toUtf8().size() > MaximumNameBytes) {
        const QByteArray digest = QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Md5).toHex();
        hidden = QStringLiteral(".orvanasync-") + QString::fromLatin1(digest) + QStringLiteral(".partial");
    }
    return folder + hidden;
}

bool FileReplacement::replace(const QString &temporaryPath, const QString &finalPath, ErrorRecord *error)
{
    const QByteArray from = native(temporaryPath);
    const QByteArray to = native(finalPath);
    if (::rename(from.constData(), to.constData()) == 0)
        return true;
    int failure = errno;
    // Some SMB mounts refuse to rename over an existing file: remove it and
    // rename at once, so the window without a file is short. Other failures
    // (no space, I/O) leave the old file alone.
    const bool refusedToReplace = failure == EEXIST || failure == EACCES || failure == EPERM || failure == EBUSY
        || failure == ETXTBSY || failure == ENOTSUP;
    if (refusedToReplace && exists(to)) {
        if (::unlink(to.constData()) == 0) {
            if (::rename(from.constData(), to.constData()) == 0)
                return true;
            failure = errno;
        }
    }
    ::unlink(from.constData());
    setError(error, failure, finalPath);
    return false;
}

bool FileReplacement::moveIntoPlaceWithoutReplacing(const QString &temporaryPath, const QString &finalPath,
                                                    bool *alreadyExists, ErrorRecord *error)
{
    if (alreadyExists)
        *alreadyExists = false;
    const QByteArray from = native(temporaryPath);
    const QByteArray to = native(finalPath);
    auto existing = [&] {
        ::unlink(from.constData());
        if (alreadyExists)
            *alreadyExists = true;
        return true;
    };
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return true;
    int failure = errno;
    if (failure == EEXIST)
        return existing();
    if (failure == EINVAL || failure == ENOSYS || failure == ENOTSUP) {
        // No no-replace rename here: a hard link fails when the name is taken.
        if (::link(from.constData(), to.constData()) == 0) {
            ::unlink(from.constData());
            return true;
        }
        failure = errno;
        if (failure == EEXIST)
            return existing();
        // No hard links either (some SMB mounts): check again and rename.
        if (exists(to))
            return existing();
        if (::rename(from.constData(), to.constData()) == 0)
            return true;
        failure = errno;
    }
    ::unlink(from.constData());
    setError(error, failure, finalPath);
    return false;
}

bool FileReplacement::writeAtomically(const QString &finalPath, const QByteArray &bytes, ErrorRecord *error)
{
    const QString temporaryPath = temporaryPathFor(finalPath);
    const QByteArray temporary = native(temporaryPath);
    const int descriptor = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (descriptor < 0) {
        setError(error, errno, temporaryPath);
        return false;
    }
    qsizetype offset = 0;
    while (offset < bytes.size()) {
        const ssize_t written = ::write(descriptor, bytes.constData() + offset, size_t(bytes.size() - offset));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            const int failure = errno;
            ::close(descriptor);
            ::unlink(temporary.constData());
            setError(error, failure, temporaryPath);
            return false;
        }
        offset += written;
    }
    int failure = 0;
    if (::fsync(descriptor) != 0 && errno != EINVAL && errno != EROFS)
        failure = errno;
    if (::close(descriptor) != 0 && failure == 0)
        failure = errno;
    if (failure != 0) {
        ::unlink(temporary.constData());
        setError(error, failure, temporaryPath);
        return false;
    }
    return replace(temporaryPath, finalPath, error);
}

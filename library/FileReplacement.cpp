#include "library/FileReplacement.h"

#include "library/SystemError.h"
#include "share/TemporaryFile.h"

#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

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

// A move that failed: the temporary file goes, and the cause is reported.
bool discard(const QByteArray &from, int failure, const QString &finalPath, ErrorRecord *error)
{
    ::unlink(from.constData());
    setError(error, failure, finalPath);
    return false;
}

// The last attempt of a move, a plain rename.
bool renameOrDiscard(const QByteArray &from, const QByteArray &to, const QString &finalPath, ErrorRecord *error)
{
    if (::rename(from.constData(), to.constData()) == 0)
        return true;
    return discard(from, errno, finalPath, error);
}

} // namespace

bool FileReplacement::replace(const QString &temporaryPath, const QString &finalPath, ErrorRecord *error)
{
    const QByteArray from = native(temporaryPath);
    const QByteArray to = native(finalPath);
    if (::rename(from.constData(), to.constData()) == 0)
        return true;
    const int failure = errno;
    // Some SMB mounts refuse to rename over an existing file: remove it and
    // rename at once, so the window without a file is short. Other failures
    // (no space, I/O) leave the old file alone.
    const bool refusedToReplace = failure == EEXIST || failure == EACCES || failure == EPERM || failure == EBUSY
        || failure == ETXTBSY || failure == ENOTSUP;
    if (refusedToReplace && exists(to) && ::unlink(to.constData()) == 0)
        return renameOrDiscard(from, to, finalPath, error);
    return discard(from, failure, finalPath, error);
}

bool FileReplacement::moveIntoPlaceWithoutReplacing(const QString &temporaryPath, const QString &finalPath,
                                                    bool *alreadyExists, ErrorRecord *error)
{
    bool existed = false;
    if (!moveUnlessTaken(temporaryPath, finalPath, &existed, error))
        return false;
    if (alreadyExists)
        *alreadyExists = existed;
    // A killed run's copy of the same file may lie beside it.
    if (!existed)
        TemporaryFile::removeStale(finalPath);
    return true;
}

bool FileReplacement::moveUnlessTaken(const QString &temporaryPath, const QString &finalPath, bool *alreadyExists,
                                      ErrorRecord *error)
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
    const int failure = errno;
    if (failure == EEXIST)
        return existing();
    if (failure == EINVAL || failure == ENOSYS || failure == ENOTSUP) {
        // No no-replace rename here: a hard link fails when the name is taken.
        if (::link(from.constData(), to.constData()) == 0) {
            ::unlink(from.constData());
            return true;
        }
        // No hard links either (some SMB mounts): check again and rename.
        if (errno == EEXIST || exists(to))
            return existing();
        return renameOrDiscard(from, to, finalPath, error);
    }
    return discard(from, failure, finalPath, error);
}

bool FileReplacement::writeAtomically(const QString &finalPath, const QByteArray &bytes, ErrorRecord *error)
{
    QString temporaryPath;
    const int descriptor = TemporaryFile::create(finalPath, &temporaryPath);
    if (descriptor < 0) {
        setError(error, errno, temporaryPath.isNull() ? finalPath : temporaryPath);
        return false;
    }
    const QByteArray temporary = native(temporaryPath);
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
    if (!replace(temporaryPath, finalPath, error))
        return false;
    TemporaryFile::removeStale(finalPath);
    return true;
}

#include "library/FileCopier.h"

#include "library/SystemError.h"
#include "platform/FileNameSpelling.h"
#include "share/TemporaryFile.h"

#include <QByteArray>

#include <cerrno>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

class Descriptor {
public:
    explicit Descriptor(int descriptor) : m_descriptor(descriptor) {}
    ~Descriptor()
    {
        if (m_descriptor >= 0)
            ::close(m_descriptor);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int get() const { return m_descriptor; }
    int release()
    {
        const int descriptor = m_descriptor;
        m_descriptor = -1;
        return descriptor;
    }

private:
    int m_descriptor;
};

// Copies the rest of source, of size bytes when it was opened, to
// destination; answers 0 or errno. The kernel copy stops at that size rather
// than asking once more to be told the end (as cp does); a file that reports
// no size is copied until its end.
int copyContents(int source, int destination, off_t size)
{
    if (::ioctl(destination, FICLONE, source) == 0)
        return 0;
    bool kernelCopy = true;
    off_t copiedInAll = 0;
    for (;;) {
        if (kernelCopy) {
            const ssize_t copied = ::copy_file_range(source, nullptr, destination, nullptr, size_t(1) << 30, 0);
            if (copied > 0) {
                copiedInAll += copied;
                if (size > 0 && copiedInAll >= size)
                    return 0;
                continue;
            }
            if (copied == 0)
                return 0;
            if (errno == EINTR)
                continue;
            if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP && errno != EBADF)
                return errno;
            kernelCopy = false;
        }
        static thread_local std::vector<char> buffer(size_t(1) << 20);
        const ssize_t got = ::read(source, buffer.data(), buffer.size());
        if (got == 0)
            return 0;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        ssize_t offset = 0;
        while (offset < got) {
            const ssize_t written = ::write(destination, buffer.data() + offset, size_t(got - offset));
            if (written < 0) {
                if (errno == EINTR)
                    continue;
                return errno;
            }
            offset += written;
        }
    }
}

// The source opened read-only, with its status, or -1 with *error set.
// Non-blocking, so that a FIFO or a device under the source's name is
// refused by fstat instead of hanging the open.
int openSource(const QString &sourcePath, struct stat *info, ErrorRecord *error)
{
    const auto open = [](const QString &path) {
        return ::open(path.toUtf8().constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    };
    int opened = open(sourcePath);
    int failure = opened < 0 ? errno : 0;
    if (failure == ENOENT) {
        if (const QString onDisk = FileNameSpelling::onDiskSpellingOfMissing(sourcePath); !onDisk.isNull()) {
            opened = open(onDisk);
            failure = opened < 0 ? errno : 0;
        }
    }
    if (opened >= 0) {
        if (::fstat(opened, info) != 0)
            failure = errno;
        else if (!S_ISREG(info->st_mode))
            failure = S_ISDIR(info->st_mode) ? EISDIR : EINVAL;
        if (failure != 0) {
            ::close(opened);
            opened = -1;
        }
    }
    if (opened < 0 && error)
        *error = SystemError::fromErrno(failure, sourcePath);
    return opened;
}

} // namespace

bool FileCopier::canCopyFrom(const QString &sourcePath, ErrorRecord *error)
{
    struct stat info;
    const int source = openSource(sourcePath, &info, error);
    if (source < 0)
        return false;
    ::close(source);
    return true;
}

bool FileCopier::copyFile(const QString &sourcePath, const QString &finalPath, QString *temporaryPath,
                          ErrorRecord *error)
{
    struct stat info;
    Descriptor source(openSource(sourcePath, &info, error));
    if (source.get() < 0)
        return false;
    QString temporary;
    Descriptor destination(TemporaryFile::create(finalPath, &temporary));
    if (destination.get() < 0) {
        if (error)
            *error = SystemError::fromErrno(errno, temporary.isNull() ? finalPath : temporary);
        return false;
    }
    int failure = copyContents(source.get(), destination.get(), info.st_size);
    if (failure == 0 && ::fsync(destination.get()) != 0 && errno != EINVAL && errno != EROFS)
        failure = errno;
    if (::close(destination.release()) != 0 && failure == 0)
        failure = errno;
    if (failure != 0) {
        ::unlink(temporary.toUtf8().constData());
        if (error)
            *error = SystemError::fromErrno(failure, temporary);
        return false;
    }
    if (temporaryPath)
        *temporaryPath = temporary;
    return true;
}

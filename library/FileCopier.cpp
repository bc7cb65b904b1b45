#include "library/FileCopier.h"

#include "library/SystemError.h"

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

// Copies the rest of source to destination; answers 0 or errno.
int copyContents(int source, int destination)
{
    if (::ioctl(destination, FICLONE, source) == 0)
        return 0;
    bool kernelCopy = true;
    for (;;) {
        if (kernelCopy) {
            const ssize_t copied = ::copy_file_range(source, nullptr, destination, nullptr, size_t(1) << 30, 0);
            if (copied > 0)
                continue;
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

} // namespace

bool FileCopier::copyFile(const QString &sourcePath, const QString &destinationPath, ErrorRecord *error)
{
    const QByteArray from = sourcePath.toUtf8();
    const QByteArray to = destinationPath.toUtf8();
    Descriptor source(::open(from.constData(), O_RDONLY | O_CLOEXEC));
    if (source.get() < 0) {
        if (error)
            *error = SystemError::fromErrno(errno, sourcePath);
        return false;
    }
    struct stat info;
    int statFailure = 0;
    if (::fstat(source.get(), &info) != 0)
        statFailure = errno;
    else if (!S_ISREG(info.st_mode))
        statFailure = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    if (statFailure != 0) {
        if (error)
            *error = SystemError::fromErrno(statFailure, sourcePath);
        return false;
    }
    Descriptor destination(::open(to.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (destination.get() < 0) {
        if (error)
            *error = SystemError::fromErrno(errno, destinationPath);
        return false;
    }
    int failure = copyContents(source.get(), destination.get());
    if (::close(destination.release()) != 0 && failure == 0)
        failure = errno;
    if (failure != 0) {
        ::unlink(to.constData());
        if (error)
            *error = SystemError::fromErrno(failure, destinationPath);
        return false;
    }
    return true;
}

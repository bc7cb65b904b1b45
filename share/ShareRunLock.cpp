#include "share/ShareRunLock.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QRandomGenerator>
#include <QStringList>

#include <cerrno>
#include <ctime>
#include <cstring>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString hostName()
{
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        return QStringLiteral("unknown");
    return QString::fromLocal8Bit(name);
}

// The start time of a process in clock ticks since boot (field 22 of
// /proc/<pid>/stat), which tells a live process from a later one that
// reuses its number; null when the process is gone.
QString processStart(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray line = file.readAll();
    // The command name (field 2) may hold blanks: count from its ")".
    const qsizetype close = line.lastIndexOf(')');
    if (close < 0)
        return {};
    const QList<QByteArray> fields = line.mid(close + 2).split(' ');
    // fields[0] is field 3 (state): field 22 is fields[19].
    return fields.size() > 19 ? QString::fromLatin1(fields.at(19)) : QString();
}

struct Holder {
    qint64 pid = 0;
    QString host;
    QString start;
    QString since;
};

Holder parseHolder(const QByteArray &bytes)
{
    Holder holder;
    for (const QString &field : QString::fromUtf8(bytes).simplified().split(u' ', Qt::SkipEmptyParts)) {
        const qsizetype equals = field.indexOf(u'=');
        if (equals < 0)
            continue;
        const QStringView key = QStringView(field).first(equals);
        const QString value = field.mid(equals + 1);
        if (key == u"pid")
            holder.pid = value.toLongLong();
        else if (key == u"host")
            holder.host = value;
        else if (key == u"start")
            holder.start = value;
        else if (key == u"since")
            holder.since = value;
    }
    return holder;
}

QString describeHolder(const QByteArray &bytes)
{
    const Holder holder = parseHolder(bytes);
    if (holder.pid <= 0)
        return QStringLiteral("a run that has not said who it is");
    QString text = QStringLiteral("process %1 on host \"%2\"").arg(holder.pid).arg(holder.host);
    if (!holder.since.isEmpty())
        text += QStringLiteral(", running since %1").arg(holder.since);
    return text;
}

// Whether the holder is a process of this host that has ended.
bool holderIsGone(const QByteArray &bytes)
{
    const Holder holder = parseHolder(bytes);
    if (holder.pid <= 0 || holder.host != hostName())
        return false;
    if (::kill(pid_t(holder.pid), 0) != 0 && errno == ESRCH)
        return true;
    const QString start = processStart(holder.pid);
    return !start.isNull() && !holder.start.isEmpty() && start != holder.start;
}

QByteArray readAllFrom(int descriptor)
{
    QByteArray bytes;
    char buffer[512];
    off_t offset = 0;
    while (bytes.size() < 4096) {
        const ssize_t got = ::pread(descriptor, buffer, sizeof buffer, offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        bytes.append(buffer, got);
        offset += got;
    }
    return bytes;
}

QByteArray readPath(const QByteArray &path)
{
    const int descriptor = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0)
        return {};
    const QByteArray bytes = readAllFrom(descriptor);
    ::close(descriptor);
    return bytes;
}

// 0 or errno.
int writeHolder(int descriptor)
{
    // Written over the previous holder's line, then cut to length: a run
    // reading it meanwhile never finds it empty.
    const QByteArray line = ShareRunLock::holderLine().toUtf8() + '\n';
    if (::pwrite(descriptor, line.constData(), size_t(line.size()), 0) != line.size())
        return errno != 0 ? errno : EIO;
    if (::ftruncate(descriptor, line.size()) != 0)
        return errno;
    return 0;
}

bool sameFile(int descriptor, const QByteArray &path)
{
    struct stat open;
    struct stat named;
    return ::fstat(descriptor, &open) == 0 && ::lstat(path.constData(), &named) == 0 && open.st_dev == named.st_dev
        && open.st_ino == named.st_ino;
}

constexpr int emptyLockStaleSeconds = 60;

bool unchangedForSeconds(const QByteArray &path, int seconds)
{
    struct stat info {};
    return ::lstat(path.constData(), &info) == 0 && S_ISREG(info.st_mode)
        && info.st_mtime + seconds < std::time(nullptr);
}

bool flockUnsupported(int failure)
{
    return failure == ENOLCK || failure == EOPNOTSUPP || failure == ENOSYS || failure == EINVAL;
}

QString heldMessage(const QString &path, const QByteArray &holderBytes)
{
    return QStringLiteral("another synchronization of this library is writing to the share (%1); its lock file is %2")
        .arg(describeHolder(holderBytes), path);
}

QString failedMessage(const QString &path, int failure)
{
    return QStringLiteral("cannot take the lock file %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(failure)));
}

} // namespace

ShareRunLock::ShareRunLock(QString path, int descriptor) : m_path(std::move(path)), m_descriptor(descriptor) {}

ShareRunLock::~ShareRunLock()
{
    // Removed while still locked: a run waiting on this file finds, once it
    // has the lock, that the name no longer leads to it, and starts again.
    const QByteArray native = m_path.toUtf8();
    if (sameFile(m_descriptor, native))
        ::unlink(native.constData());
    ::close(m_descriptor);
}

QString ShareRunLock::holderLine()
{
    const qint64 pid = ::getpid();
    return QStringLiteral("pid=%1 host=%2 start=%3 since=%4")
        .arg(pid)
        .arg(hostName().remove(u' '), processStart(pid),
             QDateTime::currentDateTimeUtc().toString(Qt::ISODate));
}

std::unique_ptr<ShareRunLock> ShareRunLock::acquire(const QString &lockPath, QString *refusal, Method method)
{
    const QByteArray native = lockPath.toUtf8();
    auto refuse = [&](const QString &message) -> std::unique_ptr<ShareRunLock> {
        if (refusal)
            *refusal = message;
        return nullptr;
    };
    bool useFlock = method == Method::FlockWhereSupported;
    for (int attempt = 0; attempt < 8; ++attempt) {
        if (useFlock) {
            const int descriptor = ::open(native.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
            if (descriptor < 0)
                return refuse(failedMessage(lockPath, errno));
            if (::flock(descriptor, LOCK_EX | LOCK_NB) == 0) {
                if (!sameFile(descriptor, native)) {
                    // The previous holder removed it as we locked it.
                    ::close(descriptor);
                    continue;
                }
                if (const int failure = writeHolder(descriptor); failure != 0) {
                    ::close(descriptor);
                    return refuse(failedMessage(lockPath, failure));
                }
                return std::unique_ptr<ShareRunLock>(new ShareRunLock(lockPath, descriptor));
            }
            const int failure = errno;
            if (failure == EWOULDBLOCK) {
                // A holder that has just taken the lock writes its line next.
                QByteArray holder = readAllFrom(descriptor);
                for (int wait = 0; holder.isEmpty() && wait < 20; ++wait) {
                    ::usleep(10000);
                    holder = readAllFrom(descriptor);
                }
                ::close(descriptor);
                return refuse(heldMessage(lockPath, holder));
            }
            ::close(descriptor);
            if (!flockUnsupported(failure))
                return refuse(failedMessage(lockPath, failure));
            // This file system has no flock: our own empty file must not be
            // taken for a lock held by someone else.
            if (readPath(native).isEmpty())
                ::unlink(native.constData());
            useFlock = false;
        }

        const int descriptor = ::open(native.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (descriptor >= 0) {
            if (const int failure = writeHolder(descriptor); failure != 0) {
                ::close(descriptor);
                ::unlink(native.constData());
                return refuse(failedMessage(lockPath, failure));
            }
            return std::unique_ptr<ShareRunLock>(new ShareRunLock(lockPath, descriptor));
        }
        if (errno != EEXIST)
            return refuse(failedMessage(lockPath, errno));
        // A run writes its line right after creating the file.
        QByteArray holder = readPath(native);
        for (int wait = 0; holder.isEmpty() && wait < 20; ++wait) {
            ::usleep(10000);
            holder = readPath(native);
        }
        // Still empty long after its creation: its run was killed before it
        // could say who it was.
        const bool abandonedEmpty = holder.isEmpty() && unchangedForSeconds(native, emptyLockStaleSeconds);
        if (!abandonedEmpty && !holderIsGone(holder))
            return refuse(heldMessage(lockPath, holder));
        // Stale: move it aside under a name of our own, so that of several
        // runs taking it over only one removes it, and put back what turns
        // out not to be the stale file.
        const QByteArray aside = native + ".stale-"
            + QByteArray::number(QRandomGenerator::system()->generate64(), 16);
        if (::rename(native.constData(), aside.constData()) != 0)
            continue;
        if (readPath(aside) == holder)
            ::unlink(aside.constData());
        else if (::link(aside.constData(), native.constData()) == 0 || errno == EEXIST)
            ::unlink(aside.constData());
        else
            ::rename(aside.constData(), native.constData());
    }
    return refuse(QStringLiteral("cannot take the lock file %1: it keeps changing hands").arg(lockPath));
}

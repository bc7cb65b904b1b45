#include "library/ShareFiles.h"

#include "platform/FileNameSpelling.h"

#include <QByteArray>

#include <cerrno>
#include <fcntl.h>
#include <span>
#include <sys/stat.h>
#include <unistd.h>

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

constexpr qint64 SampleSize = 4096;

// Whether two files of one size differ where the audio lies: 4 KiB at the
// middle and at three quarters, away from the tags at either end (a tag
// edited in place is no difference); a small file is compared whole. Two
// reads per file instead of a whole one: over SMB the share's copy is not
// fetched. A file that cannot be read is no evidence of a difference.
bool differWhereAudioLies(const QString &path, const QString &otherPath, qint64 size)
{
    const int first = ::open(path.toUtf8().constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (first < 0)
        return false;
    const int second = ::open(otherPath.toUtf8().constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (second < 0) {
        ::close(first);
        return false;
    }
    const bool whole = size <= 4 * SampleSize;
    const qint64 length = whole ? size : SampleSize;
    QByteArray mine(length, Qt::Uninitialized);
    QByteArray theirs(length, Qt::Uninitialized);
    const qint64 offsets[] = {whole ? 0 : size / 2, size / 4 * 3};
    bool differ = false;
    for (const qint64 offset : std::span(offsets, whole ? 1 : 2)) {
        if (readAt(first, mine.data(), size_t(length), off_t(offset)) != length
            || readAt(second, theirs.data(), size_t(length), off_t(offset)) != length)
            break;
        if (mine != theirs) {
            differ = true;
            break;
        }
    }
    ::close(first);
    ::close(second);
    return differ;
}

} // namespace

ssize_t readAt(int descriptor, char *data, size_t size, off_t offset)
{
    size_t got = 0;
    while (got < size) {
        const ssize_t piece = ::pread(descriptor, data + got, size - got, offset + off_t(got));
        if (piece < 0 && errno == EINTR)
            continue;
        if (piece < 0)
            return got > 0 ? ssize_t(got) : -1;
        if (piece == 0)
            break;
        got += size_t(piece);
    }
    return ssize_t(got);
}

bool holdsAnotherFile(const QString &path, const QString &sourcePath)
{
    qint64 existingSize = 0;
    qint64 sourceSize = 0;
    if (!regularFileSize(path, &existingSize))
        return true;
    QString source = sourcePath;
    if (!regularFileSize(source, &sourceSize)) {
        source = FileNameSpelling::onDiskSpellingOfMissing(sourcePath);
        if (source.isNull() || !regularFileSize(source, &sourceSize))
            return false;
    }
    return sourceSize != existingSize || differWhereAudioLies(path, source, sourceSize);
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

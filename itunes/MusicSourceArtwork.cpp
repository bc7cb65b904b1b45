#include "itunes/MusicSourceArtwork.h"

#include "itunes/MusicSourceError.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

MusicSourceArtwork MusicSourceArtwork::fromBytes(QByteArray bytes)
{
    MusicSourceArtwork artwork;
    artwork.m_bytes = std::move(bytes);
    return artwork;
}

MusicSourceArtwork MusicSourceArtwork::fromFile(QString path)
{
    MusicSourceArtwork artwork;
    artwork.m_path = std::move(path);
    return artwork;
}

QByteArray MusicSourceArtwork::rawData() const
{
    if (m_path.isNull())
        return m_bytes;
    // Only a regular file, opened without waiting: a FIFO must not hang the run.
    const int descriptor = ::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0)
        throw MusicSourceError(QStringLiteral("cannot read artwork file %1: %2").arg(m_path, QString::fromLocal8Bit(std::strerror(errno))));
    struct stat info;
    if (::fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(descriptor);
        throw MusicSourceError(QStringLiteral("cannot read artwork file %1: not a regular file").arg(m_path));
    }
    QFile file;
    if (!file.open(descriptor, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(descriptor);
        throw MusicSourceError(QStringLiteral("cannot read artwork file %1: %2").arg(m_path, file.errorString()));
    }
    if (file.size() > MaximumFileSize)
        throw MusicSourceError(QStringLiteral("artwork file %1 is larger than %2 bytes").arg(m_path).arg(MaximumFileSize));
    QByteArray bytes = file.read(MaximumFileSize + 1);
    if (bytes.size() > MaximumFileSize)
        throw MusicSourceError(QStringLiteral("artwork file %1 is larger than %2 bytes").arg(m_path).arg(MaximumFileSize));
    return bytes;
}

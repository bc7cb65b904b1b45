#include "itunes/MusicSourceArtwork.h"

#include "itunes/MusicSourceError.h"

#include <QFile>

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
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        throw MusicSourceError(QStringLiteral("cannot read artwork file %1: %2").arg(m_path, file.errorString()));
    if (file.size() > MaximumFileSize)
        throw MusicSourceError(QStringLiteral("artwork file %1 is larger than %2 bytes").arg(m_path).arg(MaximumFileSize));
    QByteArray bytes = file.read(MaximumFileSize + 1);
    if (bytes.size() > MaximumFileSize)
        throw MusicSourceError(QStringLiteral("artwork file %1 is larger than %2 bytes").arg(m_path).arg(MaximumFileSize));
    return bytes;
}

#include "itunes/ArtworkFinder.h"

#include "itunes/TagLibAudioFile.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

#include <algorithm>

QList<QByteArray> ArtworkFinder::embeddedPictures(const QString &audioPath)
{
    QList<TagLibAudioFile::Picture> pictures = TagLibAudioFile::embeddedPictures(audioPath);
    std::stable_sort(pictures.begin(), pictures.end(), [](const TagLibAudioFile::Picture &a,
                                                         const TagLibAudioFile::Picture &b) { return a.front && !b.front; });
    QList<QByteArray> bytes;
    for (TagLibAudioFile::Picture &picture : pictures)
        bytes.append(std::move(picture.bytes));
    return bytes;
}

QStringList ArtworkFinder::sideImageFiles(const QString &audioPath)
{
    static const QStringList wanted = {
        QStringLiteral("cover.jpg"),  QStringLiteral("cover.jpeg"),  QStringLiteral("cover.png"),
        QStringLiteral("folder.jpg"), QStringLiteral("folder.jpeg"), QStringLiteral("folder.png"),
        QStringLiteral("front.jpg"),  QStringLiteral("front.jpeg"),  QStringLiteral("front.png"),
    };
    const QDir folder = QFileInfo(audioPath).dir();
    if (!folder.exists())
        return {};
    QHash<QString, QString> byLowerName;
    const QStringList entries = folder.entryList(QDir::Files | QDir::Readable, QDir::Name);
    for (const QString &entry : entries) {
        const QString lower = entry.toLower();
        if (wanted.contains(lower) && !byLowerName.contains(lower))
            byLowerName.insert(lower, entry);
    }
    QStringList files;
    for (const QString &name : wanted) {
        if (const auto found = byLowerName.constFind(name); found != byLowerName.cend())
            files.append(folder.filePath(found.value()));
    }
    return files;
}

ArtworkFinder::Artworks ArtworkFinder::artworksForFile(const QString &audioPath)
{
    Artworks artworks;
    for (QByteArray &bytes : embeddedPictures(audioPath))
        artworks.push_back(std::make_shared<MusicSourceArtwork>(MusicSourceArtwork::fromBytes(std::move(bytes))));
    if (artworks.empty()) {
        for (QString &path : sideImageFiles(audioPath))
            artworks.push_back(std::make_shared<MusicSourceArtwork>(MusicSourceArtwork::fromFile(std::move(path))));
    }
    return artworks;
}

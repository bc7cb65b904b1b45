#include "itunes/ArtworkFinder.h"

#include "itunes/TagLibAudioFile.h"
#include "platform/FileNameSpelling.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <string_view>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool equalIgnoringAsciiCase(std::string_view name, std::string_view lowerName)
{
    if (name.size() != lowerName.size())
        return false;
    for (std::size_t index = 0; index < name.size(); ++index) {
        char character = name[index];
        if (character >= 'A' && character <= 'Z')
            character = char(character - 'A' + 'a');
        if (character != lowerName[index])
            return false;
    }
    return true;
}

// A regular file, or a link to one, that this process may read.
bool isReadableFile(const QByteArray &path)
{
    struct stat info;
    return ::stat(path.constData(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.constData(), R_OK) == 0;
}

} // namespace

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

QStringList ArtworkFinder::sideImageFiles(const QString &audioPath, bool *audioFileListed)
{
    if (audioFileListed)
        *audioFileListed = false;
    static constexpr std::array<std::string_view, 9> wanted = {
        "cover.jpg",  "cover.jpeg",  "cover.png",  "folder.jpg", "folder.jpeg",
        "folder.png", "front.jpg",   "front.jpeg", "front.png",
    };
    const QDir folder = QFileInfo(audioPath).dir();
    const QByteArray nativeFolder = QFile::encodeName(folder.path());
    // One pass over the names alone: only a name that matches is looked at
    // further, so a folder of many tracks costs no stat or access per file.
    DIR *directory = ::opendir(nativeFolder.constData());
    if (!directory)
        return {};
    std::array<QByteArray, wanted.size()> found;
    const QByteArray audioName = QFile::encodeName(QFileInfo(audioPath).fileName());
    while (const dirent *entry = ::readdir(directory)) {
        const std::string_view name(entry->d_name);
        if (audioFileListed && !*audioFileListed && name == std::string_view(audioName.constData(), size_t(audioName.size())))
            *audioFileListed = true;
        if (name.size() < 9 || name.size() > 11)
            continue;
        for (std::size_t index = 0; index < wanted.size(); ++index) {
            if (!equalIgnoringAsciiCase(name, wanted[index]))
                continue;
            // Of names differing in case only, the first in name order.
            if (found[index].isNull() || name < std::string_view(found[index].constData(), found[index].size()))
                if (isReadableFile(nativeFolder + '/' + QByteArray(name.data(), qsizetype(name.size()))))
                    found[index] = QByteArray(name.data(), qsizetype(name.size()));
            break;
        }
    }
    ::closedir(directory);
    QStringList files;
    for (const QByteArray &name : found) {
        if (!name.isNull())
            files.append(folder.filePath(QFile::decodeName(name)));
    }
    return files;
}

ArtworkFinder::Artworks ArtworkFinder::artworksForFile(const QString &audioPath)
{
    Artworks artworks;
    for (QByteArray &bytes : embeddedPictures(audioPath))
        artworks.push_back(std::make_shared<MusicSourceArtwork>(MusicSourceArtwork::fromBytes(std::move(bytes))));
    if (artworks.empty()) {
        bool audioFileListed = false;
        for (QString &path : sideImageFiles(audioPath, &audioFileListed))
            artworks.push_back(std::make_shared<MusicSourceArtwork>(MusicSourceArtwork::fromFile(std::move(path))));
        // The file is not there under this spelling: look for it under the
        // one it has here, which costs nothing while files are where named.
        if (artworks.empty() && !audioFileListed) {
            if (const QString onDisk = FileNameSpelling::onDiskSpellingOfMissing(audioPath); !onDisk.isNull())
                return artworksForFile(onDisk);
        }
    }
    return artworks;
}

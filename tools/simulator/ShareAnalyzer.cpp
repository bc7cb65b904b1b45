#include "tools/simulator/ShareAnalyzer.h"

#include "tools/simulator/LibXmlDocument.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>

namespace {

int countElements(xmlNode *node, QStringView name)
{
    int count = 0;
    for (xmlNode *child = LibXmlDocument::firstElement(node); child; child = LibXmlDocument::nextElement(child))
        count += (LibXmlDocument::localName(child) == name) + countElements(child, name);
    return count;
}

} // namespace

QString ShareAnalyzer::localPath(const QString &serverPath) const
{
    QString relative = serverPath;
    if (relative.startsWith(QStringLiteral("\\\\"))) {
        // \\server\share\rest: the rest is relative to the share.
        const qsizetype serverEnd = relative.indexOf(u'\\', 2);
        const qsizetype shareEnd = serverEnd < 0 ? -1 : relative.indexOf(u'\\', serverEnd + 1);
        if (shareEnd < 0)
            return QString();
        relative = relative.mid(shareEnd + 1);
    }
    relative.replace(u'\\', u'/');
    const QStringList parts = relative.split(u'/');
    if (relative.isEmpty() || relative.startsWith(u'/') || parts.contains(QStringLiteral("..")))
        return QString();
    return QDir(shareDir).filePath(relative);
}

bool ShareAnalyzer::namesFile(const QString &serverPath) const
{
    const QString path = localPath(serverPath);
    return !path.isNull() && QFileInfo(path).isFile();
}

void ShareAnalyzer::collect(xmlNode *node, const char *element, const char *attribute, int *count,
                            QStringList *missing) const
{
    for (xmlNode *child = LibXmlDocument::firstElement(node); child; child = LibXmlDocument::nextElement(child)) {
        if (LibXmlDocument::localName(child) == QLatin1String(element)) {
            ++*count;
            xmlChar *value = xmlGetProp(child, reinterpret_cast<const xmlChar *>(attribute));
            const QString path = value ? QString::fromUtf8(reinterpret_cast<const char *>(value)) : QString();
            xmlFree(value);
            if (!namesFile(path))
                missing->append(path);
        }
        collect(child, element, attribute, count, missing);
    }
}

QJsonObject ShareAnalyzer::analyse() const
{
    QJsonArray libraries;
    QStringList missing;
    int songs = 0;
    int playlists = 0;
    const QDir libraryDir(QDir(shareDir).filePath(QStringLiteral("Library")));
    const QStringList files = libraryDir.entryList({QStringLiteral("*.xml")}, QDir::Files, QDir::Name);
    for (const QString &file : files) {
        QJsonObject entry{{QStringLiteral("file"), QString(QStringLiteral("Library/") + file)}};
        const LibXmlDocument document = LibXmlDocument::fromFile(libraryDir.filePath(file));
        if (!document.isValid()) {
            entry.insert(QStringLiteral("error"), document.error());
        } else {
            int fileSongs = 0;
            collect(document.root(), "Song", "Location", &fileSongs, &missing);
            const int filePlaylists = countElements(document.root(), u"Playlist");
            entry.insert(QStringLiteral("songs"), fileSongs);
            entry.insert(QStringLiteral("playlists"), filePlaylists);
            entry.insert(QStringLiteral("playlistTracks"), countElements(document.root(), u"Track"));
            songs += fileSongs;
            playlists += filePlaylists;
        }
        libraries.append(entry);
    }

    QJsonObject result;
    int covers = 0;
    const QString artworkPath = QDir(shareDir).filePath(QStringLiteral("Artwork/Artwork.xml"));
    if (QFileInfo::exists(artworkPath)) {
        const LibXmlDocument artwork = LibXmlDocument::fromFile(artworkPath);
        if (artwork.isValid())
            collect(artwork.root(), "AlbumCover", "Path", &covers, &missing);
        else
            result.insert(QStringLiteral("artworkError"), artwork.error());
    } else {
        result.insert(QStringLiteral("artworkError"), QStringLiteral("no Artwork/Artwork.xml"));
    }
    result.insert(QStringLiteral("libraries"), libraries);
    result.insert(QStringLiteral("songs"), songs);
    result.insert(QStringLiteral("playlists"), playlists);
    result.insert(QStringLiteral("covers"), covers);
    result.insert(QStringLiteral("missing"), QJsonArray::fromStringList(missing));
    return result;
}

#include "tools/simulator/ShareAnalyzer.h"

#include "xml/XmlPushParser.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>

#include <functional>

struct ShareAnalyzer::FileCounts {
    int named = 0; // the elements whose attribute names a file
    int playlists = 0;
    int tracks = 0;
    QStringList missing;
};

namespace {

// The start tags of one file, counted as they arrive.
class CountingHandler : public XmlPushParser::Handler {
public:
    CountingHandler(QByteArrayView element, QByteArrayView attribute, std::function<void(const QString &)> found)
        : m_element(element), m_attribute(attribute), m_found(std::move(found))
    {
    }

    void startElement(QByteArrayView localName, QByteArrayView, const XmlAttributes &attributes) override
    {
        if (localName == m_element)
            m_found(attributes.value(m_attribute).value_or(QString()));
        else if (localName == "Playlist")
            ++playlists;
        else if (localName == "Track")
            ++tracks;
    }

    int playlists = 0;
    int tracks = 0;

private:
    QByteArrayView m_element;
    QByteArrayView m_attribute;
    std::function<void(const QString &)> m_found;
};

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

bool ShareAnalyzer::read(const QString &path, QByteArrayView element, QByteArrayView attribute, FileCounts *counts,
                         QString *error) const
{
    FileCounts found;
    CountingHandler handler(element, attribute, [&](const QString &value) {
        ++found.named;
        if (!namesFile(value))
            found.missing.append(value);
    });
    // Internal entities expand as the server's reader expands them; nothing
    // external is ever loaded.
    XmlPushParser parser(handler, {XmlPushParser::Entities::ExpandInternal, false, false});
    if (!parser.readFile(path)) {
        *error = parser.failure().message;
        return false;
    }
    found.playlists = handler.playlists;
    found.tracks = handler.tracks;
    *counts = std::move(found);
    return true;
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
        FileCounts counts;
        QString error;
        if (!read(libraryDir.filePath(file), "Song", "Location", &counts, &error)) {
            entry.insert(QStringLiteral("error"), error);
        } else {
            entry.insert(QStringLiteral("songs"), counts.named);
            entry.insert(QStringLiteral("playlists"), counts.playlists);
            entry.insert(QStringLiteral("playlistTracks"), counts.tracks);
            songs += counts.named;
            playlists += counts.playlists;
            missing += counts.missing;
        }
        libraries.append(entry);
    }

    QJsonObject result;
    int covers = 0;
    const QString artworkPath = QDir(shareDir).filePath(QStringLiteral("Artwork/Artwork.xml"));
    if (QFileInfo::exists(artworkPath)) {
        FileCounts counts;
        QString error;
        if (read(artworkPath, "AlbumCover", "Path", &counts, &error)) {
            covers = counts.named;
            missing += counts.missing;
        } else {
            result.insert(QStringLiteral("artworkError"), error);
        }
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

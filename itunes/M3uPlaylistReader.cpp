#include "itunes/M3uPlaylistReader.h"

#include "itunes/FileLocationMapper.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

QStringList M3uPlaylistReader::entries(const QByteArray &bytes)
{
    QByteArrayView view(bytes);
    QString text;
    // Some Windows programs write playlists in UTF-16, after a byte order mark.
    if (view.startsWith("\xFF\xFE") || view.startsWith("\xFE\xFF")) {
        QStringDecoder utf16(view.startsWith("\xFF\xFE") ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE);
        text = utf16(view.sliced(2));
    } else {
        if (view.startsWith("\xEF\xBB\xBF"))
            view = view.sliced(3);
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        text = utf8(view);
        if (utf8.hasError())
            text = QString::fromLatin1(view);
    }
    QStringList result;
    for (QStringView line : QStringView(text).split(u'\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        result.append(line.toString());
    }
    return result;
}

QString M3uPlaylistReader::resolve(const QString &entry, const QString &playlistFolder)
{
    if (entry.isEmpty() || entry.contains(QChar(0)))
        return {};
    QString path;
    if (entry.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) {
        path = FileLocationMapper::pathFromFileUrl(entry);
        if (path.isNull())
            return {};
    } else {
        const qsizetype colon = entry.indexOf(u':');
        if (colon > 1 && entry.indexOf(QLatin1String("://")) == colon)
            return {}; // http:// and friends
        path = entry;
        path.replace(u'\\', u'/');
    }
    // A Windows path ("C:\Music\...") names no file here, and nothing under
    // the playlist's folder either.
    const bool windowsDrivePath = path.size() >= 3 && path.at(0).isLetter() && path.at(0).unicode() < 128
                                  && path.at(1) == u':' && path.at(2) == u'/';
    if (QDir::isRelativePath(path) && !windowsDrivePath)
        path = QDir(playlistFolder).filePath(path);
    return QDir::cleanPath(path);
}

QStringList M3uPlaylistReader::readFile(const QString &path)
{
    // A FIFO named like a playlist would block the open.
    if (!QFileInfo(path).isFile())
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.read(MaximumFileSize);
    const QString folder = QFileInfo(path).absolutePath();
    QStringList paths;
    for (const QString &entry : entries(bytes)) {
        const QString resolved = resolve(entry, folder);
        if (!resolved.isNull())
            paths.append(resolved);
    }
    return paths;
}

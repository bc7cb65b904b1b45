#include "itunes/FileLocationMapper.h"

#include <QUrl>

#include <algorithm>

namespace {

bool isDriveLetterPath(const QString &path)
{
    return path.size() >= 2 && path.at(0).isLetter() && path.at(0).unicode() < 128 && path.at(1) == u':'
        && (path.size() == 2 || path.at(2) == u'/' || path.at(2) == u'\\');
}

// folder and rest joined by one '/', the backslashes of rest made slashes.
QString joined(const QString &folder, QStringView rest)
{
    const bool folderSlash = folder.endsWith(u'/');
    const bool restSlash = rest.startsWith(u'/') || rest.startsWith(u'\\');
    if (folderSlash && restSlash)
        rest = rest.sliced(1);
    QString path;
    path.reserve(folder.size() + 1 + rest.size());
    path.append(folder);
    if (!folder.isEmpty() && !folderSlash && !restSlash && !rest.isEmpty())
        path.append(u'/');
    const qsizetype restStart = path.size();
    path.append(rest);
    for (qsizetype i = restStart; i < path.size(); ++i) {
        if (path.at(i) == u'\\')
            path[i] = u'/';
    }
    return path;
}

} // namespace

FileLocationMapper::FileLocationMapper(PathMap map)
{
    for (const auto &[from, to] : map) {
        if (!from.isEmpty())
            m_prefixes.append({percentDecoded(from), to});
    }
    std::stable_sort(m_prefixes.begin(), m_prefixes.end(),
                     [](const Prefix &a, const Prefix &b) { return a.decoded.size() > b.decoded.size(); });
}

QString FileLocationMapper::percentDecoded(const QString &text)
{
    if (!text.contains(u'%'))
        return text;
    return QUrl::fromPercentEncoding(text.toUtf8());
}

QString FileLocationMapper::pathFromFileUrl(const QString &location)
{
    if (location.isEmpty())
        return {};
    return pathFromDecodedUrl(percentDecoded(location));
}

QString FileLocationMapper::pathFromDecodedUrl(QString decoded)
{
    if (decoded.contains(QChar(0)))
        return {};
    if (decoded.startsWith(u'/'))
        return decoded;
    if (isDriveLetterPath(decoded))
        return decoded.replace(u'\\', u'/');
    static const QString scheme = QStringLiteral("file://");
    if (!decoded.startsWith(scheme, Qt::CaseInsensitive))
        return {};
    QString rest = decoded.mid(scheme.size());
    static const QString localhost = QStringLiteral("localhost/");
    if (rest.startsWith(localhost, Qt::CaseInsensitive))
        rest = rest.mid(localhost.size() - 1);
    if (rest.startsWith(u'/')) {
        if (isDriveLetterPath(rest.mid(1)))
            return rest.mid(1);
        return rest;
    }
    if (isDriveLetterPath(rest))
        return rest;
    if (rest.isEmpty())
        return {};
    return QStringLiteral("//") + rest; // a file on another host: file://server/share/...
}

QString FileLocationMapper::pathForLocation(const QString &location) const
{
    if (location.isEmpty())
        return {};
    return pathForDecodedLocation(percentDecoded(location));
}

QString FileLocationMapper::pathForLocation(QByteArrayView utf8Location) const
{
    if (utf8Location.isEmpty())
        return {};
    if (!utf8Location.contains('%'))
        return pathForDecodedLocation(QString::fromUtf8(utf8Location));
    // As percentDecoded does, without converting to UTF-16 and back first.
    const QByteArray raw = QByteArray::fromRawData(utf8Location.data(), utf8Location.size());
    return pathForDecodedLocation(QString::fromUtf8(QByteArray::fromPercentEncoding(raw)));
}

QString FileLocationMapper::pathForDecodedLocation(const QString &decoded) const
{
    if (decoded.contains(QChar(0)))
        return {};
    for (const Prefix &prefix : m_prefixes) {
        if (decoded.startsWith(prefix.decoded))
            return joined(prefix.localFolder, QStringView(decoded).sliced(prefix.decoded.size()));
    }
    const QString path = pathFromDecodedUrl(decoded);
    if (path.isNull())
        return {};
    for (const Prefix &prefix : m_prefixes) {
        if (path.startsWith(prefix.decoded))
            return joined(prefix.localFolder, QStringView(path).sliced(prefix.decoded.size()));
    }
    return path;
}

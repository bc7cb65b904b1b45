#include "itunes/FileLocationMapper.h"

#include <QUrl>

#include <algorithm>

namespace {

bool isDriveLetterPath(const QString &path)
{
    return path.size() >= 2 && path.at(0).isLetter() && path.at(0).unicode() < 128 && path.at(1) == u':'
        && (path.size() == 2 || path.at(2) == u'/' || path.at(2) == u'\\');
}

QString joined(const QString &folder, QString rest)
{
    rest.replace(u'\\', u'/');
    if (folder.isEmpty())
        return rest;
    const bool folderSlash = folder.endsWith(u'/');
    const bool restSlash = rest.startsWith(u'/');
    if (folderSlash && restSlash)
        return folder + rest.mid(1);
    if (!folderSlash && !restSlash && !rest.isEmpty())
        return folder + u'/' + rest;
    return folder + rest;
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
    QString decoded = percentDecoded(location);
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
    const QString decoded = percentDecoded(location);
    if (decoded.contains(QChar(0)))
        return {};
    for (const Prefix &prefix : m_prefixes) {
        if (decoded.startsWith(prefix.decoded))
            return joined(prefix.localFolder, decoded.mid(prefix.decoded.size()));
    }
    const QString path = pathFromFileUrl(location);
    if (path.isNull())
        return {};
    for (const Prefix &prefix : m_prefixes) {
        if (path.startsWith(prefix.decoded))
            return joined(prefix.localFolder, path.mid(prefix.decoded.size()));
    }
    return path;
}

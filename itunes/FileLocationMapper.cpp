#include "itunes/FileLocationMapper.h"

#include <QStringDecoder>
#include <QUrl>
#include <QVarLengthArray>

#include <algorithm>

namespace {

bool isDriveLetterPath(QStringView path)
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
    std::replace(path.begin() + restStart, path.end(), QChar(u'\\'), QChar(u'/'));
    return path;
}

// The same with rest in UTF-8, converted straight into the result.
QString joined(const QString &folder, QByteArrayView utf8Rest)
{
    const bool folderSlash = folder.endsWith(u'/');
    const bool restSlash = utf8Rest.startsWith('/') || utf8Rest.startsWith('\\');
    if (folderSlash && restSlash)
        utf8Rest = utf8Rest.sliced(1);
    QString path(folder.size() + 1 + utf8Rest.size(), Qt::Uninitialized);
    QChar *out = std::copy(folder.cbegin(), folder.cend(), path.data());
    if (!folder.isEmpty() && !folderSlash && !restSlash && !utf8Rest.isEmpty())
        *out++ = u'/';
    // Not at the start of the text: a byte order mark there is a character.
    QStringDecoder toUtf16(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QChar *const end = toUtf16.appendToBuffer(out, utf8Rest);
    std::replace(out, end, QChar(u'\\'), QChar(u'/'));
    path.resize(end - path.constData());
    return path;
}

// Decodes %XY sequences exactly as QByteArray::fromPercentEncoding does
// (which does not check the digits).
void percentDecode(QByteArrayView in, QVarLengthArray<char, 512> &out)
{
    out.resize(in.size());
    char *data = out.data();
    const qsizetype length = in.size();
    qsizetype written = 0;
    for (qsizetype i = 0; i < length; ++i) {
        char c = in[i];
        if (c == '%' && i + 2 < length) {
            char a = in[++i];
            char b = in[++i];
            for (char *digit : {&a, &b}) {
                if (*digit >= '0' && *digit <= '9')
                    *digit = char(*digit - '0');
                else if (*digit >= 'a' && *digit <= 'f')
                    *digit = char(*digit - 'a' + 10);
                else if (*digit >= 'A' && *digit <= 'F')
                    *digit = char(*digit - 'A' + 10);
            }
            c = char((a << 4) | b);
        }
        data[written++] = c;
    }
    out.resize(written);
}

// Whether text starts with prefix and the prefix ends at a folder boundary.
bool startsWithFolder(QStringView text, QStringView prefix, Qt::CaseSensitivity sensitivity = Qt::CaseSensitive)
{
    const auto isSeparator = [](QChar character) { return character == u'/' || character == u'\\'; };
    return text.startsWith(prefix, sensitivity)
        && (prefix.isEmpty() || text.size() == prefix.size() || isSeparator(prefix.back()) || isSeparator(text.at(prefix.size())));
}

bool startsWithFolder(QByteArrayView text, QByteArrayView prefix)
{
    const auto isSeparator = [](char character) { return character == '/' || character == '\\'; };
    return text.startsWith(prefix)
        && (prefix.isEmpty() || text.size() == prefix.size() || isSeparator(prefix.back()) || isSeparator(text.at(prefix.size())));
}

} // namespace

FileLocationMapper::FileLocationMapper(PathMap map)
{
    for (const auto &[from, to] : map) {
        if (from.isEmpty())
            continue;
        const QString decoded = percentDecoded(from);
        const QByteArray utf8 = decoded.toUtf8();
        // Bytes compare like the text unless the prefix has characters that
        // do not survive the way through UTF-8 (replacement characters).
        if (decoded.contains(QChar::ReplacementCharacter) || QString::fromUtf8(utf8) != decoded)
            m_prefixesMatchAsBytes = false;
        Prefix prefix{decoded, utf8, to, {}, Qt::CaseSensitive};
        const bool unc = decoded.startsWith(QLatin1String("\\\\")) || decoded.startsWith(QLatin1String("//"));
        if (unc || isDriveLetterPath(decoded)) {
            prefix.path = QString(decoded).replace(u'\\', u'/');
            prefix.pathCase = Qt::CaseInsensitive;
        } else {
            prefix.path = pathFromDecodedUrl(decoded);
            if (!prefix.path.isNull() && isDriveLetterPath(prefix.path))
                prefix.pathCase = Qt::CaseInsensitive;
        }
        m_prefixes.append(std::move(prefix));
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
    QStringView rest = QStringView(decoded).sliced(scheme.size());
    static const QString localhost = QStringLiteral("localhost/");
    if (rest.startsWith(localhost, Qt::CaseInsensitive))
        rest = rest.sliced(localhost.size() - 1);
    if (rest.startsWith(u'/')) {
        if (isDriveLetterPath(rest.sliced(1)))
            return rest.sliced(1).toString();
        return rest.toString();
    }
    if (isDriveLetterPath(rest))
        return rest.toString();
    if (rest.isEmpty())
        return {};
    QString path = QStringLiteral("//"); // a file on another host: file://server/share/...
    return path.append(rest);
}

QString FileLocationMapper::pathForLocation(const QString &location) const
{
    const QByteArray utf8 = location.toUtf8();
    return pathForLocation(QByteArrayView(utf8));
}

QString FileLocationMapper::pathForLocation(QByteArrayView utf8Location) const
{
    if (utf8Location.isEmpty())
        return {};
    // Decoded on the stack and mapped without converting to UTF-16 first:
    // one allocation, the result, for a location under a mapped prefix.
    QVarLengthArray<char, 512> buffer;
    QByteArrayView decoded = utf8Location;
    if (utf8Location.contains('%')) {
        percentDecode(utf8Location, buffer);
        decoded = QByteArrayView(buffer.constData(), buffer.size());
    }
    if (decoded.contains('\0'))
        return {};
    if (m_prefixesMatchAsBytes) {
        for (const Prefix &prefix : m_prefixes) {
            if (startsWithFolder(decoded, QByteArrayView(prefix.decodedUtf8)))
                return joined(prefix.localFolder, decoded.sliced(prefix.decodedUtf8.size()));
        }
    }
    return pathForDecodedLocation(QString::fromUtf8(decoded));
}

QString FileLocationMapper::pathForDecodedLocation(const QString &decoded) const
{
    if (decoded.contains(QChar(0)))
        return {};
    for (const Prefix &prefix : m_prefixes) {
        if (startsWithFolder(QStringView(decoded), QStringView(prefix.decoded)))
            return joined(prefix.localFolder, QStringView(decoded).sliced(prefix.decoded.size()));
    }
    const QString path = pathFromDecodedUrl(decoded);
    return path.isNull() ? QString() : movedPath(path);
}

QString FileLocationMapper::movedPath(const QString &path) const
{
    for (const Prefix &prefix : m_prefixes) {
        if (!prefix.path.isEmpty() && startsWithFolder(QStringView(path), QStringView(prefix.path), prefix.pathCase))
            return joined(prefix.localFolder, QStringView(path).sliced(prefix.path.size()));
    }
    return path;
}

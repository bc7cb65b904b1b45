#include "platform/FileNameSpelling.h"

#include <QByteArray>
#include <QFile>
#include <QStringList>

#include <dirent.h>
#include <sys/stat.h>

namespace {

bool exists(const QByteArray &path)
{
    struct stat info;
    return ::lstat(path.constData(), &info) == 0;
}

bool isAscii(QByteArrayView text)
{
    for (const char character : text) {
        if (uchar(character) >= 0x80)
            return false;
    }
    return true;
}

// Whether a name of the folder folds to wanted (itself folded). Names in
// ASCII are compared as bytes: a folder of many files is listed quickly.
bool foldsTo(QByteArrayView name, const QString &wanted, const QByteArray &asciiWanted)
{
    if (!asciiWanted.isNull() && isAscii(name))
        return name.size() == asciiWanted.size() && name.compare(asciiWanted, Qt::CaseInsensitive) == 0;
    return FileNameSpelling::folded(QFile::decodeName(name.toByteArray())) == wanted;
}

// The one entry of folder whose name folds to wanted, or null.
QByteArray onlyMatch(const QByteArray &folder, const QString &wanted)
{
    DIR *directory = ::opendir(folder.isEmpty() ? "/" : folder.constData());
    if (!directory)
        return {};
    const QByteArray wantedUtf8 = wanted.toUtf8();
    const QByteArray asciiWanted = isAscii(wantedUtf8) ? wantedUtf8 : QByteArray();
    QByteArray match;
    int matches = 0;
    while (const dirent *entry = ::readdir(directory)) {
        const QByteArrayView name(entry->d_name);
        if (name == "." || name == ".." || !foldsTo(name, wanted, asciiWanted))
            continue;
        if (++matches > 1)
            break;
        match = name.toByteArray();
    }
    ::closedir(directory);
    return matches == 1 ? match : QByteArray();
}

} // namespace

QString FileNameSpelling::folded(const QString &name)
{
    return name.normalized(QString::NormalizationForm_C).toCaseFolded();
}

QString FileNameSpelling::onDiskSpellingOfMissing(const QString &path)
{
    if (!path.startsWith(u'/') || exists(QFile::encodeName(path)))
        return {};
    QByteArray resolved;
    bool respelled = false;
    for (const QString &component : path.split(u'/', Qt::SkipEmptyParts)) {
        const QByteArray next = resolved + '/' + QFile::encodeName(component);
        if (exists(next)) {
            resolved = next;
            continue;
        }
        const QByteArray match = onlyMatch(resolved, folded(component));
        if (match.isNull())
            return {};
        resolved += '/' + match;
        respelled = true;
    }
    return respelled ? QFile::decodeName(resolved) : QString();
}

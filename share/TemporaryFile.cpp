#include "share/TemporaryFile.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QHash>
#include <QList>
#include <QRandomGenerator>
#include <QSet>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qsizetype MaximumNameBytes = 255;
const QString Suffix = QStringLiteral(".partial");
constexpr int RandomDigits = 16;

QString folderOf(const QString &path)
{
    return path.left(path.lastIndexOf(u'/') + 1);
}

QByteArray &confinementRoot()
{
    static QByteArray root;
    return root;
}

// What one run has learnt of the share's folders, so that writing many files
// into one folder costs neither a path resolution nor a folder listing per
// file: the folders found beneath the root, and the temporary files each
// folder held when first listed. Forgotten when the next run sets its root.
struct RunMemory {
    std::mutex guard;
    QSet<QString> confinedFolders;
    QHash<QString, QList<QByteArray>> temporaryNames;
    // Folders beneath the root (relative paths) that makeFolders reached
    // without a link: they need no mkdir again, only the walk.
    QSet<QByteArray> walkedFolders;
};

RunMemory &runMemory()
{
    static RunMemory memory;
    return memory;
}

// The root as it was given, before its links were resolved.
QByteArray &givenConfinementRoot()
{
    static QByteArray root;
    return root;
}

bool isBeneath(const QByteArray &path, const QByteArray &root)
{
    return !root.isEmpty() && (path == root || path.startsWith(root.endsWith('/') ? root : root + '/'));
}

QByteArray resolved(const QByteArray &path)
{
    char *real = ::realpath(path.isEmpty() ? "." : path.constData(), nullptr);
    if (!real)
        return {};
    QByteArray result(real);
    std::free(real);
    return result;
}

// 0 when folder, with every link and ".." resolved, lies beneath the root;
// EXDEV when it lies elsewhere; why it cannot be resolved otherwise (a
// missing folder, a file in its place).
int confinementFailure(const QString &folder)
{
    const QByteArray &root = confinementRoot();
    if (root.isEmpty())
        return 0;
    RunMemory &memory = runMemory();
    {
        const std::lock_guard<std::mutex> lock(memory.guard);
        if (memory.confinedFolders.contains(folder))
            return 0;
    }
    const QByteArray real = resolved(folder.toUtf8());
    if (real.isEmpty())
        return errno != 0 ? errno : ENOENT;
    if (real != root && !real.startsWith(root.endsWith('/') ? root : root + '/'))
        return EXDEV;
    const std::lock_guard<std::mutex> lock(memory.guard);
    memory.confinedFolders.insert(folder);
    return 0;
}

} // namespace

void TemporaryFile::confineTo(const QString &root)
{
    confinementRoot() = root.isNull() ? QByteArray() : resolved(root.toUtf8());
    RunMemory &memory = runMemory();
    const std::lock_guard<std::mutex> lock(memory.guard);
    memory.confinedFolders.clear();
    memory.temporaryNames.clear();
    memory.walkedFolders.clear();
    givenConfinementRoot() = root.isNull() ? QByteArray() : root.toUtf8();
}

int TemporaryFile::makeFolders(const QString &folder)
{
    const QByteArray path = folder.toUtf8();
    const QByteArray &root = confinementRoot();
    if (root.isEmpty()) {
        std::error_code failure;
        std::filesystem::create_directories(std::filesystem::path(path.toStdString()), failure);
        return failure ? (failure.value() != 0 ? failure.value() : EIO) : 0;
    }
    QByteArray relative;
    if (isBeneath(path, givenConfinementRoot()))
        relative = path.mid(givenConfinementRoot().size());
    else if (isBeneath(path, root))
        relative = path.mid(root.size());
    else
        return EXDEV;
    int directory = ::open(root.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory < 0)
        return errno;
    RunMemory &memory = runMemory();
    const auto walkedBefore = [&memory](const QByteArray &relativeFolder) {
        const std::lock_guard<std::mutex> lock(memory.guard);
        return memory.walkedFolders.contains(relativeFolder);
    };
    const auto openComponent = [&directory](const QByteArray &component) {
        return ::openat(directory, component.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    };
    QByteArray reached;
    QList<QByteArray> walked;
    bool createdLast = false;
    for (const QByteArray &component : relative.split('/')) {
        if (component.isEmpty() || component == ".")
            continue;
        reached += '/' + component;
        int failure = 0;
        int next = -1;
        createdLast = false;
        // Over SMB every call is a round trip: a folder this run reached
        // is only opened, and made again only if it went meanwhile.
        bool make = true;
        if (component == "..") {
            failure = EXDEV;
        } else if (walkedBefore(reached)) {
            next = openComponent(component);
            make = next < 0 && errno == ENOENT;
        }
        if (failure == 0 && next < 0 && make) {
            if (::mkdirat(directory, component.constData(), 0777) == 0)
                createdLast = true;
            else if (errno != EEXIST)
                failure = errno;
            if (failure == 0)
                next = openComponent(component);
        }
        if (failure == 0 && next < 0) {
            struct stat info {};
            failure = ::fstatat(directory, component.constData(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(info.st_mode)
                ? EXDEV
                : errno;
        }
        ::close(directory);
        if (failure != 0)
            return failure;
        directory = next;
        walked.append(reached);
    }
    ::close(directory);
    const QString given = folder.endsWith(u'/') ? folder : folder + u'/';
    const std::lock_guard<std::mutex> lock(memory.guard);
    for (const QByteArray &path : walked)
        memory.walkedFolders.insert(path);
    // Reached without a link from the root: confined. Made just now: no
    // file of a killed run can be in it.
    memory.confinedFolders.insert(given);
    if (createdLast)
        memory.temporaryNames.insert(given, {});
    return 0;
}

QString TemporaryFile::prefixFor(const QString &finalPath)
{
    const QString name = finalPath.mid(finalPath.lastIndexOf(u'/') + 1);
    QString prefix = u'.' + name + u'.';
    if (prefix.toUtf8().size() + RandomDigits + Suffix.size() > MaximumNameBytes) {
        const QByteArray digest = QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Md5).toHex();
        prefix = QStringLiteral(".orvanasync-") + QString::fromLatin1(digest) + u'.';
    }
    return folderOf(finalPath) + prefix;
}

QString TemporaryFile::uniquePathFor(const QString &finalPath)
{
    const quint64 random = QRandomGenerator::system()->generate64();
    return prefixFor(finalPath) + QStringLiteral("%1").arg(random, RandomDigits, 16, QLatin1Char('0')) + Suffix;
}

int TemporaryFile::create(const QString &finalPath, QString *path)
{
    if (const int failure = confinementFailure(folderOf(finalPath)); failure != 0) {
        if (path)
            *path = finalPath;
        errno = failure;
        return -1;
    }
    // A clash of 64 random bits means another writer picked the same name:
    // pick again rather than share its file.
    for (int attempt = 0; attempt < 8; ++attempt) {
        const QString candidate = uniquePathFor(finalPath);
        const QByteArray native = candidate.toUtf8();
        const int descriptor =
            ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (descriptor >= 0 || errno != EEXIST) {
            if (path)
                *path = candidate;
            return descriptor;
        }
    }
    errno = EEXIST;
    return -1;
}

void TemporaryFile::removeStale(const QString &finalPath)
{
    const QString prefixPath = prefixFor(finalPath);
    const QString folder = folderOf(prefixPath);
    const QByteArray prefix = prefixPath.mid(folder.size()).toUtf8();
    const QByteArray suffix = Suffix.toUtf8();
    const QByteArray nativeFolder = folder.isEmpty() ? QByteArray(".") : folder.toUtf8();
    RunMemory &memory = runMemory();
    const std::lock_guard<std::mutex> lock(memory.guard);
    auto names = memory.temporaryNames.find(folder);
    if (names == memory.temporaryNames.end()) {
        // Listed once per run: a file left by a killed run is there from
        // the start, and this run's own are renamed or removed as it goes.
        DIR *directory = ::opendir(nativeFolder.constData());
        if (!directory)
            return;
        QList<QByteArray> found;
        while (const dirent *entry = ::readdir(directory)) {
            const QByteArray name(entry->d_name);
            if (name.startsWith('.') && name.endsWith(suffix) && name.size() > RandomDigits + suffix.size())
                found.append(name);
        }
        ::closedir(directory);
        names = memory.temporaryNames.insert(folder, found);
    }
    const time_t now = ::time(nullptr);
    names->removeIf([&](const QByteArray &name) {
        if (name.size() != prefix.size() + RandomDigits + suffix.size() || !name.startsWith(prefix))
            return false;
        const QByteArray path = nativeFolder + (nativeFolder.endsWith('/') ? "" : "/") + name;
        struct stat info;
        if (::lstat(path.constData(), &info) != 0)
            return true;
        if (!S_ISREG(info.st_mode) || now - info.st_mtime < staleAfterSeconds)
            return false;
        ::unlink(path.constData());
        return true;
    });
}

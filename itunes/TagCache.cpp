#include "itunes/TagCache.h"

#include "itunes/AudioFileTagReader.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

#include <sys/stat.h>

namespace {

constexpr char Magic[] = "OSTC";
constexpr quint32 Version = 1;
// A cache of a million tracks stays far below it; anything larger is not ours.
constexpr qint64 LargestFile = qint64(1) << 30;

// The fields a music folder's track takes from its file (its location,
// persistent and database IDs come from the folder).
void writeProperties(QDataStream &out, const MusicTrackProperties &p)
{
    out << p.album << p.albumArtist << p.artist << p.bitRate << p.composer << p.discNumber << p.duration << p.genre
        << p.sampleRate << p.size << p.name << p.discCount << p.trackCount << p.trackNumber << p.year;
}

void readProperties(QDataStream &in, MusicTrackProperties &p)
{
    in >> p.album >> p.albumArtist >> p.artist >> p.bitRate >> p.composer >> p.discNumber >> p.duration >> p.genre
        >> p.sampleRate >> p.size >> p.name >> p.discCount >> p.trackCount >> p.trackNumber >> p.year;
}

} // namespace

TagCache::TagCache(QString file, std::chrono::milliseconds settle) : m_file(std::move(file)), m_settle(settle)
{
    load();
}

QString TagCache::fileFor(const QString &musicFolder)
{
    const QByteArray key = QFile::encodeName(QDir(musicFolder).canonicalPath().isEmpty() ? QDir(musicFolder).absolutePath()
                                                                                          : QDir(musicFolder).canonicalPath());
    const QString name = QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha256).left(12).toHex());
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/orvanasync/tags-") + name
        + QStringLiteral(".cache");
}

void TagCache::load()
{
    QFile file(m_file);
    if (!file.open(QIODevice::ReadOnly) || file.size() > LargestFile)
        return;
    const QByteArray bytes = file.readAll();
    constexpr qsizetype digestSize = 32;
    const qsizetype headerSize = qsizetype(sizeof Magic - 1) + 4;
    if (bytes.size() < headerSize + digestSize || !bytes.startsWith(Magic))
        return;
    const QByteArray payload = bytes.mid(headerSize, bytes.size() - headerSize - digestSize);
    if (QCryptographicHash::hash(payload, QCryptographicHash::Sha256) != bytes.right(digestSize))
        return;
    QDataStream version(bytes.mid(sizeof Magic - 1, 4));
    quint32 fileVersion = 0;
    version >> fileVersion;
    if (fileVersion != Version)
        return;
    QDataStream in(payload);
    quint32 count = 0;
    in >> count;
    QHash<QString, Entry> kept;
    for (quint32 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
        QString path;
        Entry entry;
        in >> path >> entry.identity.device >> entry.identity.inode >> entry.identity.size >> entry.identity.modified
            >> entry.identity.changed;
        readProperties(in, entry.properties);
        kept.insert(path, std::move(entry));
    }
    if (in.status() == QDataStream::Ok && in.atEnd())
        m_kept = std::move(kept);
}

MusicTrackProperties TagCache::read(const QString &path)
{
    struct stat info;
    const bool known = ::stat(QFile::encodeName(path).constData(), &info) == 0;
    Identity identity;
    if (known) {
        identity = {quint64(info.st_dev), quint64(info.st_ino), qint64(info.st_size),
                    qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec,
                    qint64(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec};
        const QMutexLocker lock(&m_mutex);
        if (const auto kept = m_kept.constFind(path); kept != m_kept.cend() && kept->identity == identity) {
            m_asked.insert(path, *kept);
            MusicTrackProperties properties = kept->properties;
            properties.location = path;
            return properties;
        }
    }
    MusicTrackProperties properties = AudioFileTagReader::read(path);
    const QMutexLocker lock(&m_mutex);
    ++m_filesRead;
    // A file changed while it was read, or lately enough that a change to
    // come could keep its times, is read again next time.
    struct stat after;
    const qint64 settled = std::chrono::duration_cast<std::chrono::nanoseconds>(
                               std::chrono::system_clock::now().time_since_epoch() - m_settle).count();
    if (known && identity.changed <= settled && ::stat(QFile::encodeName(path).constData(), &after) == 0
        && after.st_ctim.tv_sec == info.st_ctim.tv_sec && after.st_ctim.tv_nsec == info.st_ctim.tv_nsec
        && after.st_size == info.st_size) {
        Entry entry{identity, properties};
        entry.properties.location.clear();
        m_asked.insert(path, std::move(entry));
    }
    return properties;
}

int TagCache::filesRead() const
{
    const QMutexLocker lock(&m_mutex);
    return m_filesRead;
}

void TagCache::save()
{
    const QMutexLocker lock(&m_mutex);
    if (m_filesRead == 0 && m_asked.size() == m_kept.size())
        return;
    QByteArray payload;
    {
        QDataStream out(&payload, QIODevice::WriteOnly);
        out << quint32(m_asked.size());
        for (auto entry = m_asked.cbegin(); entry != m_asked.cend(); ++entry) {
            const Identity &identity = entry->identity;
            out << entry.key() << identity.device << identity.inode << identity.size << identity.modified << identity.changed;
            writeProperties(out, entry->properties);
        }
    }
    QByteArray version;
    QDataStream(&version, QIODevice::WriteOnly) << Version;
    if (!QDir().mkpath(QFileInfo(m_file).absolutePath()))
        return;
    QFile::setPermissions(QFileInfo(m_file).absolutePath(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QSaveFile file(m_file);
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    file.write(QByteArray(Magic, sizeof Magic - 1) + version + payload
               + QCryptographicHash::hash(payload, QCryptographicHash::Sha256));
    if (file.commit())
        m_kept = m_asked;
}

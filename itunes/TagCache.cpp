#include "itunes/TagCache.h"

#include "itunes/AudioFileTagReader.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QScopeGuard>
#include <QSet>
#include <QStandardPaths>

#include <algorithm>
#include <utility>

#include <sys/stat.h>

namespace {

constexpr char Magic[] = "OSTC";
constexpr quint32 Version = 1;
// A cache of a million tracks stays far below it; anything larger is not ours.
constexpr qint64 LargestFile = qint64(1) << 30;

// Text as UTF-8: half the bytes of QDataStream's own form for the names
// and paths of a music folder.
void writeText(QDataStream &out, const QString &text)
{
    out << text.toUtf8();
}

void readText(QDataStream &in, QString &text)
{
    QByteArray utf8;
    in >> utf8;
    text = QString::fromUtf8(utf8);
}

// The fields a music folder's track takes from its file (its location,
// persistent and database IDs come from the folder).
void writeProperties(QDataStream &out, const MusicTrackProperties &p)
{
    for (const QString *text : {&p.album, &p.albumArtist, &p.artist, &p.composer, &p.genre, &p.name})
        writeText(out, *text);
    out << p.bitRate << p.discNumber << p.duration << p.sampleRate << p.size << p.discCount << p.trackCount << p.trackNumber
        << p.year;
}

void readProperties(QDataStream &in, MusicTrackProperties &p)
{
    for (QString *text : {&p.album, &p.albumArtist, &p.artist, &p.composer, &p.genre, &p.name})
        readText(in, *text);
    in >> p.bitRate >> p.discNumber >> p.duration >> p.sampleRate >> p.size >> p.discCount >> p.trackCount >> p.trackNumber
        >> p.year;
}

} // namespace

TagCache::TagCache(QString file, std::chrono::milliseconds settle) : m_file(std::move(file)), m_settle(settle)
{
    load();
}

QString TagCache::fileFor(const QString &musicFolder)
{
    const QDir folder(musicFolder);
    const QString canonical = folder.canonicalPath();
    const QByteArray key = QFile::encodeName(canonical.isEmpty() ? folder.absolutePath() : canonical);
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
    const QByteArray payload = QByteArray::fromRawData(bytes.constData() + headerSize, bytes.size() - headerSize - digestSize);
    if (QCryptographicHash::hash(payload, QCryptographicHash::Sha256) != QByteArrayView(bytes).last(digestSize))
        return;
    QDataStream version(bytes.mid(sizeof Magic - 1, 4));
    quint32 fileVersion = 0;
    version >> fileVersion;
    if (fileVersion != Version)
        return;
    QDataStream in(payload);
    quint32 count = 0;
    in >> count;
    QHash<QString, Entry> entries;
    entries.reserve(qsizetype(std::min<quint32>(count, quint32(payload.size() / 64))));
    // An album's tracks name the same album and artists: one string each.
    QSet<QString> texts;
    const auto shared = [&texts](QString &text) {
        if (const auto known = texts.constFind(text); known != texts.cend())
            text = *known;
        else
            texts.insert(text);
    };
    for (quint32 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
        QString path;
        Entry entry;
        readText(in, path);
        in >> entry.identity.device >> entry.identity.inode >> entry.identity.size >> entry.identity.modified
            >> entry.identity.changed;
        readProperties(in, entry.properties);
        for (QString *text : {&entry.properties.album, &entry.properties.albumArtist, &entry.properties.artist,
                              &entry.properties.composer, &entry.properties.genre})
            shared(*text);
        entries.insert(path, std::move(entry));
    }
    if (in.status() == QDataStream::Ok && in.atEnd())
        m_entries = std::move(entries);
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
        if (const auto kept = m_entries.find(path); !m_saved && kept != m_entries.end() && kept->identity == identity) {
            if (!std::exchange(kept->asked, true))
                ++m_asked;
            MusicTrackProperties properties = kept->properties;
            properties.location = path;
            return properties;
        }
    }
    MusicTrackProperties properties = AudioFileTagReader::read(path);
    // A file changed while it was read, or lately enough that a change to
    // come could keep its times, is read again next time.
    struct stat after;
    const qint64 settled = std::chrono::duration_cast<std::chrono::nanoseconds>(
                               std::chrono::system_clock::now().time_since_epoch() - m_settle).count();
    const bool keep = known && identity.changed <= settled && ::stat(QFile::encodeName(path).constData(), &after) == 0
                   && after.st_ctim.tv_sec == info.st_ctim.tv_sec && after.st_ctim.tv_nsec == info.st_ctim.tv_nsec
                   && after.st_size == info.st_size;
    const QMutexLocker lock(&m_mutex);
    ++m_filesRead;
    if (!m_saved) {
        const auto kept = m_entries.find(path);
        if (kept != m_entries.end() && kept->asked)
            --m_asked;
        if (keep) {
            Entry entry{identity, properties, true};
            entry.properties.location.clear();
            m_entries.insert(path, std::move(entry));
            ++m_asked;
        } else if (kept != m_entries.end()) {
            m_entries.erase(kept);
        }
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
    if (m_saved)
        return;
    m_saved = true;
    // A library of 100,000 tracks keeps some tens of megabytes here.
    const auto letGo = qScopeGuard([this] { m_entries = {}; });
    if (m_filesRead == 0 && m_asked == m_entries.size())
        return;
    QByteArray payload;
    {
        QDataStream out(&payload, QIODevice::WriteOnly);
        out << quint32(m_asked);
        for (auto entry = m_entries.cbegin(); entry != m_entries.cend(); ++entry) {
            if (!entry->asked)
                continue;
            const Identity &identity = entry->identity;
            writeText(out, entry.key());
            out << identity.device << identity.inode << identity.size << identity.modified << identity.changed;
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
    file.commit();
}

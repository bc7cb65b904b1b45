#pragma once

#include "itunes/MusicTrackProperties.h"

#include <QHash>
#include <QMutex>
#include <QString>

#include <chrono>

// The tags of a music folder's files as read on the last run, kept in the
// user's cache folder, so that a run over an unchanged folder opens none of
// its files. A file is read again unless its identity (device, inode, size,
// modification and change times) is the one it had: the change time moves
// with every write and no program can set it back. The file system keeps
// that time in ticks of some milliseconds, so a file changed within
// `settle` of being read is read again next time too. A cache file that is
// missing, damaged or of another version counts as empty.
class TagCache {
public:
    // The cache of `file`, read now.
    explicit TagCache(QString file, std::chrono::milliseconds settle = std::chrono::seconds(2));
    // $XDG_CACHE_HOME/orvanasync/tags-<hash of the folder's path>.cache
    static QString fileFor(const QString &musicFolder);

    // The properties of the audio file at `path`: those kept for it while
    // it is unchanged, else read (AudioFileTagReader) and kept.
    MusicTrackProperties read(const QString &path);
    // Writes the entries this run asked for, when they differ from the
    // file's, and lets go of them: a read after it reads the file. A cache
    // that cannot be written is passed over.
    void save();

    int filesRead() const;

private:
    struct Identity {
        quint64 device = 0;
        quint64 inode = 0;
        qint64 size = -1;
        qint64 modified = 0; // nanoseconds
        qint64 changed = 0;
        bool operator==(const Identity &) const = default;
    };
    struct Entry {
        Identity identity;
        MusicTrackProperties properties;
        bool asked = false; // by this run: written at the save
    };
    void load();

    const QString m_file;
    const std::chrono::milliseconds m_settle;
    mutable QMutex m_mutex;
    QHash<QString, Entry> m_entries; // as read from the file, and what this run read
    qsizetype m_asked = 0;
    int m_filesRead = 0;
    bool m_saved = false;
};

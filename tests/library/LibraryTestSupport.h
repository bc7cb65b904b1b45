#pragma once

#include "library/AlbumCover.h"
#include "library/MusicLibrary.h"
#include "library/Notify.h"
#include "library/Playlist.h"
#include "library/Track.h"
#include "tests/support/ReportSink.h"
#include "tests/support/Sanitizers.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

#include <functional>
#include <memory>
#include <ostream>

// Readable QString values in test failure messages.
inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace librarytest {

// Receives the engine's reports like the sync page does, on its own thread.
class NotifyRecorder : public QObject {
    Q_OBJECT
public:
    void onSyncNotifictionEvent(const Notify &notify);
    // The sink to give the library.
    MusicLibrary::NotifySink sink() { return testsupport::sinkOnThreadOf(this, &NotifyRecorder::onSyncNotifictionEvent); }

    QList<Notify> received;
    QList<QThread *> threads;
    // One line per record: "<activity>|<title or ->|<messages joined by ;>|<progress>/<max>".
    QStringList lines() const;
    QStringList linesOfActivity(int activity) const;
};

std::string describe(const Notify &notify);

// A playlist whose members are given up front, as the music source would
// read them.
class FakePlaylist : public Playlist {
public:
    FakePlaylist(const QString &id, const QString &name, QStringList members, bool selected = true);
    void getPlaylistTrackIDs() override;
    QString archiveClassName() const override;
    QStringList archiveClassHierarchy() const override;

    QStringList members;
    int loads = 0;
};

// A cover whose export writes a small file or fails as configured.
class FakeAlbumCover : public AlbumCover {
public:
    explicit FakeAlbumCover(const QString &fileStem, bool succeeds = true, bool withException = false);
    bool copyArtwork(const QString &folder) override;
    QString artworkFileName() override;

    QString fileStem;
    bool succeeds;
    bool withException;
    QStringList exportedTo;
    QList<bool> folderExisted;
};

std::shared_ptr<Track> makeTrack(const QString &id, const QString &location);

// A local folder standing in for the mounted share, with the library's paths
// set as the sync run sets them, and a folder of source audio files.
class ShareFixture {
public:
    ShareFixture();
    void configure(MusicLibrary &library, bool wholeLibrary) const;
    // Creates a source file of the given size under the local music folder.
    QString sourceFile(const QString &relativePath, qsizetype size = 64) const;

    QString sharePath() const { return m_share.path(); }
    QString localMusic() const { return m_local.path(); }
    QString tracksFile() const { return m_share.path() + QStringLiteral("/Library/LIB-ID.xml"); }
    QString artworkFile() const { return m_share.path() + QStringLiteral("/Artwork/Artwork.xml"); }
    QString musicFolder() const { return m_share.path() + QStringLiteral("/Music"); }
    QString artworkFolder() const { return m_share.path() + QStringLiteral("/Artwork"); }

private:
    QTemporaryDir m_share;
    QTemporaryDir m_local;
};

QByteArray readBytes(const QString &path);
void writeBytes(const QString &path, const QByteArray &bytes);
bool exists(const QString &path);
// The bytes this process has read so far, by any read call (rchar of
// /proc/self/io; reading that is itself about a hundred bytes).
qint64 bytesReadByProcess();
// Every entry below folder (relative paths, sorted), hidden ones included.
QStringList listTree(const QString &folder);

// Runs body with the process's descriptor limit lowered to the descriptors
// already open, so that any open inside it fails with EMFILE.
void withoutFreeDescriptors(const std::function<void()> &body);
// UndefinedBehaviorSanitizer probes memory through a pipe of its own, so
// with no descriptor left its checks fail by themselves.
inline constexpr bool sanitizersNeedDescriptors = underAddressSanitizer;

} // namespace librarytest

#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QVariant>

// Writes library exports for the tests: values are typed by their QVariant
// (QString -> <string>, integers -> <integer>, double -> <real>, bool ->
// <true/>/<false/>); a RawXml value is written as given.
class ExportFileBuilder {
public:
    struct RawXml {
        QByteArray xml;
    };
    using Fields = QList<QPair<QString, QVariant>>;

    // A track with the usual fields; more can be appended to the result.
    static Fields track(int trackID, const QString &persistentID, const QString &location, const QString &name);

    void addTrack(int trackID, const Fields &fields);
    void addPlaylist(const QString &name, const QString &persistentID, const QList<int> &trackIDs, bool master = false);
    void addPlaylistFields(const Fields &fields);
    // The root's "Library Persistent ID", written after "Tracks" (none by default).
    void setLibraryPersistentID(const QString &id) { m_libraryPersistentID = id; }
    // The root's "Music Folder", written last ("file:///music/" by default).
    void setMusicFolder(const QString &url) { m_musicFolder = url; }
    // Text placed between the XML declaration and <plist>.
    void setPrologue(const QByteArray &prologue) { m_prologue = prologue; }

    QByteArray toXml() const;
    void writeTo(const QString &path) const;

    static QByteArray valueXml(const QVariant &value);

private:
    QList<QPair<int, Fields>> m_tracks;
    QList<Fields> m_playlists;
    QByteArray m_prologue;
    QString m_libraryPersistentID;
    QString m_musicFolder = QStringLiteral("file:///music/");
};

Q_DECLARE_METATYPE(ExportFileBuilder::RawXml)

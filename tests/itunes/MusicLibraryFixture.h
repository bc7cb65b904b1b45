#pragma once

#include "itunes/MusicApplication.h"

#include "tests/itunes/ExportFileBuilder.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <functional>

// One set of files on disk, offered through either backend: as a music
// folder, or as a library export that lists the same files (library order =
// the order the files were added, which the tests keep sorted so that both
// backends agree).
class MusicLibraryFixture {
public:
    enum class Backend { Export, Folder };

    MusicLibraryFixture();

    // Adds root/relative: a copy of a fixture from tests/itunes/data, or, with
    // a null fixture, a file holding `bytes`.
    void addFile(const QString &relative, const QString &fixture = QString(), const QByteArray &bytes = "x");
    // A user playlist of files added before (relative paths).
    void addPlaylist(const QString &name, const QStringList &relatives);
    // The export's locations and the playlist files spell each path as
    // spelling gives it, whatever the files on disk were named.
    void spellListedNames(std::function<QString(const QString &)> spelling) { m_spelling = std::move(spelling); }

    QString root() const { return m_dir.path(); }
    QString filePath(const QString &relative) const { return m_dir.filePath(QStringLiteral("music/") + relative); }
    // The export's Track ID and persistent ID of a file.
    int trackID(const QString &relative) const;
    QString exportPersistentID(const QString &relative) const;
    // What the chosen backend calls the file.
    QString persistentID(Backend backend, const QString &relative) const;

    // Writes the export (or the .m3u files) and opens the backend.
    std::shared_ptr<MusicApplication> open(Backend backend);
    QString exportPath() const { return m_dir.filePath(QStringLiteral("Library.xml")); }
    QString folderPath() const { return m_dir.filePath(QStringLiteral("music")); }

    static const char *name(Backend backend) { return backend == Backend::Export ? "Export" : "Folder"; }

private:
    QTemporaryDir m_dir;
    QStringList m_files;
    QList<QPair<QString, QStringList>> m_playlists;
    std::function<QString(const QString &)> m_spelling;

    QString listed(const QString &name) const { return m_spelling ? m_spelling(name) : name; }
};

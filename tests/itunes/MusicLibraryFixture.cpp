#include "tests/itunes/MusicLibraryFixture.h"

#include "itunes/ExportMusicSource.h"
#include "itunes/FolderMusicSource.h"

#include "tests/itunes/AudioFixtures.h"
#include "tests/support/TestFiles.h"

#include <QDir>
#include <QUrl>

#include <gtest/gtest.h>

MusicLibraryFixture::MusicLibraryFixture()
{
    EXPECT_TRUE(m_dir.isValid());
}

void MusicLibraryFixture::addFile(const QString &relative, const QString &fixture, const QByteArray &bytes)
{
    if (fixture.isNull())
        testsupport::writeFile(filePath(relative), bytes);
    else
        AudioFixtures::copy(fixture, filePath(relative));
    m_files.append(relative);
}

void MusicLibraryFixture::addPlaylist(const QString &name, const QStringList &relatives)
{
    m_playlists.append({name, relatives});
}

int MusicLibraryFixture::trackID(const QString &relative) const
{
    return int(m_files.indexOf(relative)) + 100;
}

QString MusicLibraryFixture::exportPersistentID(const QString &relative) const
{
    return QStringLiteral("E%1").arg(trackID(relative), 15, 10, QLatin1Char('0'));
}

QString MusicLibraryFixture::persistentID(Backend backend, const QString &relative) const
{
    return backend == Backend::Export ? exportPersistentID(relative) : FolderMusicSource::persistentIDForPath(relative);
}

std::shared_ptr<MusicApplication> MusicLibraryFixture::open(Backend backend)
{
    auto application = std::make_shared<MusicApplication>();
    if (backend == Backend::Export) {
        ExportFileBuilder builder;
        QList<int> ids;
        for (const QString &relative : std::as_const(m_files)) {
            const QString location = QUrl::fromLocalFile(listed(filePath(relative))).toString(QUrl::FullyEncoded);
            builder.addTrack(trackID(relative), ExportFileBuilder::track(trackID(relative), exportPersistentID(relative), location,
                                                                         QFileInfo(relative).completeBaseName()));
            ids.append(trackID(relative));
        }
        builder.addPlaylist(QStringLiteral("Library"), QStringLiteral("MASTER0000000000"), ids, true);
        int number = 0;
        for (const auto &[name, relatives] : std::as_const(m_playlists)) {
            QList<int> members;
            for (const QString &relative : relatives)
                members.append(trackID(relative));
            builder.addPlaylist(name, QStringLiteral("P%1").arg(++number, 15, 10, QLatin1Char('0')), members);
        }
        builder.writeTo(exportPath());
        EXPECT_TRUE(ExportMusicSource::open(exportPath(), FileLocationMapper(), *application))
            << application->openError().localizedDescription().toStdString();
    } else {
        for (const auto &[name, relatives] : std::as_const(m_playlists)) {
            QByteArray text = "#EXTM3U\n";
            for (const QString &relative : relatives)
                text += listed(relative).toUtf8() + "\n";
            testsupport::writeFile(filePath(name + QStringLiteral(".m3u8")), text);
        }
        QDir().mkpath(folderPath());
        EXPECT_TRUE(FolderMusicSource::open(folderPath(), *application));
    }
    return application;
}

#include "itunes/MusicSourceLocator.h"

#include "itunes/ExportMusicSource.h"
#include "itunes/FolderMusicSource.h"
#include "platform/HomeFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QVariantMap>

QStringList MusicSourceLocator::exportFileCandidates()
{
    return {
        QStringLiteral("iTunes/iTunes Music Library.xml"),
        QStringLiteral("iTunes/iTunes Library.xml"),
        QStringLiteral("iTunes/Library.xml"),
        QStringLiteral("iTunes Music Library.xml"),
        QStringLiteral("iTunes Library.xml"),
        QStringLiteral("Library.xml"),
    };
}

MusicSourceLocator::Choice MusicSourceLocator::choose(const QString &musicSource, const QString &homePath,
                                                     const QString &musicFolder)
{
    if (!musicSource.trimmed().isEmpty()) {
        const QString path = withHomeFolder(musicSource.trimmed(), homePath);
        const QFileInfo info(path);
        if (info.isDir())
            return {Kind::Folder, info.absoluteFilePath()};
        if (info.isFile())
            return {Kind::ExportFile, info.absoluteFilePath()};
        return {Kind::None, path};
    }
    const QDir music(musicFolder.isEmpty() ? QDir(homePath).filePath(QStringLiteral("Music")) : musicFolder);
    for (const QString &candidate : exportFileCandidates()) {
        const QFileInfo info(music.filePath(candidate));
        if (info.isFile())
            return {Kind::ExportFile, info.absoluteFilePath()};
    }
    if (QFileInfo(music.path()).isDir())
        return {Kind::Folder, music.absolutePath()};
    return {Kind::None, music.path()};
}

FileLocationMapper::PathMap MusicSourceLocator::parsePathMap(const QVariant &value)
{
    FileLocationMapper::PathMap map;
    if (value.typeId() == QMetaType::QVariantMap) {
        const QVariantMap entries = value.toMap();
        for (auto it = entries.cbegin(); it != entries.cend(); ++it)
            map.append({it.key(), it.value().toString()});
        return map;
    }
    QStringList lines;
    if (value.typeId() == QMetaType::QStringList || value.typeId() == QMetaType::QVariantList)
        lines = value.toStringList();
    else
        lines = value.toString().split(u'\n');
    for (const QString &line : std::as_const(lines)) {
        const qsizetype separator = line.indexOf(u'=');
        if (separator <= 0)
            continue;
        map.append({line.left(separator).trimmed(), line.mid(separator + 1).trimmed()});
    }
    return map;
}

std::shared_ptr<MusicApplication> MusicSourceLocator::open(const QString &musicSource, const QVariant &pathMap,
                                                           const QString &homePath, const QString &musicFolder)
{
    auto application = std::make_shared<MusicApplication>();
    const Choice choice = choose(musicSource, homePath, musicFolder);
    switch (choice.kind) {
    case Kind::ExportFile:
        ExportMusicSource::open(choice.path, FileLocationMapper(parsePathMap(pathMap)), *application);
        break;
    case Kind::Folder:
        FolderMusicSource::open(choice.path, *application);
        break;
    case Kind::None:
        application->setOpenError(ErrorRecord::withDescription(QStringLiteral("MusicSourceErrorDomain"), 1,
                                                               QStringLiteral("No music library found at %1").arg(choice.path)));
        break;
    }
    return application;
}

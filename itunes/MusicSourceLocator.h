#pragma once

#include "itunes/FileLocationMapper.h"
#include "itunes/MusicApplication.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>

// Chooses the music source from the "MusicSource" and "MusicSourcePathMap"
// settings and opens it.
class MusicSourceLocator {
public:
    enum class Kind { None, ExportFile, Folder };
    struct Choice {
        Kind kind = Kind::None;
        QString path;
    };

    // The export files looked for under the music folder, in this order.
    static QStringList exportFileCandidates();

    // musicSource: a path to an export file or a folder, or null/empty for the
    // default: the first export file found under the music folder, else the
    // music folder itself. musicFolder null: <home>/Music.
    static Choice choose(const QString &musicSource, const QString &homePath, const QString &musicFolder = {});

    // The "MusicSourcePathMap" value: a map from exported prefix to local
    // folder, or text with one "exported prefix=local folder" per line
    // (a list of such lines works too).
    static FileLocationMapper::PathMap parsePathMap(const QVariant &value);

    // Opens what choose() picks; the application carries the open error, if any.
    static std::shared_ptr<MusicApplication> open(const QString &musicSource, const QVariant &pathMap,
                                                  const QString &homePath, const QString &musicFolder = {});
};

#pragma once

#include "itunes/ExportLibraryContents.h"
#include "itunes/FileLocationMapper.h"
#include "itunes/MusicApplication.h"

#include <QHash>
#include <QMap>

#include <memory>

// A library export as a music source: one library source whose library
// playlist is the export's "Master" playlist (or, without one, every track
// in the order of the "Tracks" dictionary), and every other playlist as a
// user playlist.
class ExportMusicSource {
public:
    // Reads the export at path and adds its source to application; on a
    // failure sets application's open error and adds nothing.
    static bool open(const QString &path, const FileLocationMapper &locations, MusicApplication &application);
    // leftOut, when given, gains the playlist items naming no loaded track;
    // leftOutTracks says why the reader left a track out.
    static std::shared_ptr<MusicSource> fromContents(ExportLibraryContents contents, const QString &name,
                                                     QStringList &warnings, QMap<QString, int> *leftOut = nullptr,
                                                     const QHash<qint64, QString> &leftOutTracks = {});
};

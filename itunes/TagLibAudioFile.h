#pragma once

#include "itunes/MusicTrackProperties.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// What the program reads from audio files, through TagLib: the only code that
// includes it. Files are opened read-only and only when they are regular
// files.
class TagLibAudioFile {
public:
    struct Picture {
        bool front = false;
        QByteArray bytes;
    };

    // The tags (title, artist, album, album artist, composer, genre, year,
    // track and disc numbers and totals) and audio properties (duration,
    // bit rate, sample rate) into track, where the file has them; false
    // when TagLib cannot read the file.
    static bool readTags(const QString &path, MusicTrackProperties &track);
    // The embedded pictures in file order (empty ones left out), each
    // marked when it is a front cover.
    static QList<Picture> embeddedPictures(const QString &audioPath);
    // The lower-case extensions TagLib can read.
    static QStringList readableExtensions();
};

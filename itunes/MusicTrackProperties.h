#pragma once

#include <QString>
#include <QtGlobal>

// What a music source tells about one track; "none" strings are null.
struct MusicTrackProperties {
    QString location; // absolute local path of the audio file, null when unknown
    QString album;
    QString albumArtist;
    QString artist;
    int bitRate = 0;
    QString composer;
    int discNumber = 0;
    double duration = 0; // seconds
    QString genre;
    QString persistentID;
    int sampleRate = 0;
    qint64 size = 0; // bytes
    QString name;
    int discCount = 0;
    int trackCount = 0;
    int trackNumber = 0;
    int year = 0;
    int databaseID = 0;
};

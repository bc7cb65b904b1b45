#pragma once

#include "itunes/MusicSourceArtwork.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

// Finds the artworks of an audio file: the pictures embedded in it (front
// cover first), or else the usual image files in its folder.
class ArtworkFinder {
public:
    using Artworks = std::vector<std::shared_ptr<MusicSourceArtwork>>;

    static Artworks artworksForFile(const QString &audioPath);
    // The embedded pictures alone, front covers first, else in file order.
    static QList<QByteArray> embeddedPictures(const QString &audioPath);
    // cover/folder/front .jpg/.jpeg/.png beside the file, matched without
    // regard to case, in that order.
    // audioFileListed, when given, tells whether the folder holds the audio
    // file under its name (learnt from the same listing).
    static QStringList sideImageFiles(const QString &audioPath, bool *audioFileListed = nullptr);
};

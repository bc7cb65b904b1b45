#pragma once

#include <QString>

// Where a sync run reads and writes on the mounted share, and the share's
// name as the server addresses it. The application fills it once the share
// is found; the stages only read it.
struct SharePaths {
    // The library file: <share>/Library/<library identifier>.xml.
    QString xmlTracksPath;
    // The artwork file: <share>/Artwork/Artwork.xml.
    QString xmlAlbumCoverPath;
    // Where tracks are copied: <share>/Music.
    QString cpyBasePath;
    // Where covers are exported: <share>/Artwork.
    QString albumCoverBasePath;
    // The share as the server addresses it, e.g. \\192.168.1.20\OrvanaMusic;
    // the description files' locations start with it.
    QString serverSharePath;
};

#pragma once

#include "library/SyncStage.h"

#include <QSet>
#include <QString>

class ArtworkDocument;
class FileFingerprint;

// The artwork-file stage that comes second: exports the cover of every new
// album of the run into the share's artwork folder and stores the new
// artwork file, listing the covers on the share (kept ones with their listed
// path, new ones at <serverShare>\Artwork\<file name>). The previous file
// stays until the new one replaces it whole. One artwork file serves every
// library on the share: what it lists is never dropped, also what another
// library's run stored in it since this run read it (previousRead).
class ArtworkFileWriter {
public:
    explicit ArtworkFileWriter(const SyncStage &stage, const FileFingerprint *previousRead = nullptr)
        : m_stage(stage), m_previousRead(previousRead)
    {
    }

    // True when the new file is stored at paths.xmlAlbumCoverPath; a cover that
    // cannot be exported is counted missing and left out of the file.
    bool write();

private:
    // Adds the covers the file on the share lists now and the document does
    // not, when the file is no longer the one the previous read saw.
    void keepCoversStoredMeanwhile(ArtworkDocument &document, QSet<QString> &listed) const;

    SyncStage m_stage;
    const FileFingerprint *m_previousRead;
};

#pragma once

#include "library/SyncStage.h"

// The artwork-file stage that comes second: exports the cover of every new
// album of the run into the share's artwork folder and stores the new
// artwork file, listing the covers on the share (kept ones with their listed
// path, new ones at <serverShare>\Artwork\<file name>). The previous file
// stays until the new one replaces it whole.
class ArtworkFileWriter {
public:
    explicit ArtworkFileWriter(const SyncStage &stage) : m_stage(stage) {}

    // True when the new file is stored at paths.xmlAlbumCoverPath; a cover that
    // cannot be exported is counted missing and left out of the file.
    bool write();

private:
    SyncStage m_stage;
};

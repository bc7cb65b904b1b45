#pragma once

// What a sync run counted, stage by stage; the totals lines, the JSON
// summary and the tests read it. The library-file stages count tracks, the
// artwork stages covers.
struct SyncCounters {
    int numTracksProcessed = 0;
    int numTracksAdded = 0;
    int numTracksUnchanged = 0;
    int numTracksDeleted = 0;
    int numTracksCopied = 0;
    int numSkippedDRMTracks = 0;
    int numTracksCopyFailure = 0;
    // Of those, the tracks whose file was not at its location.
    int numTracksSourceMissing = 0;
    // New tracks a stopped run left off the share.
    int numTracksNotCopied = 0;
    int numAlbumCoversProcessed = 0;
    int numAlbumCoversCopied = 0;
    int numAlbumCoversAdded = 0;
    int numAlbumCoversUnchanged = 0;
    int numAlbumCoversMissing = 0;
};

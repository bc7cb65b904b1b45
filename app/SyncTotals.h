#pragma once

// The counters of the last run that the totals page shows.
struct SyncTotals {
    int numTracksProcessed = 0;
    int numTracksCopied = 0;
    int numTracksCopyFailure = 0;
    int numSkippedDRMTracks = 0;
    int numAlbumCoversProcessed = 0;
    int numAlbumCoversCopied = 0;
    int numAlbumCoversMissing = 0;
};

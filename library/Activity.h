#pragma once

// What a report (Notify) of the engine or the loader is about. The numbers
// are the codes the sync page and the window read; they never change.
enum class Activity : int {
    Ready = 0,           // never sent by the engine
    Log = 1,             // a log line (title)
    Error = 2,           // an error (title, messages)
    LoadStageStarts = 3, // a loading stage starts (title)
    LoadProgress = 4,    // import progress
    LoadStageEnds = 5,   // a loading stage ends (title)
    SyncStageStarts = 6, // a sync stage starts (title)
    TrackProgress = 7,   // a track is about to be listed or copied
    Playlist = 8,        // a selected playlist is taken up (title)
    CoverProgress = 9,   // an album cover is about to be examined
    SectionSaved = 10,   // a file section has been produced (title)
    ReadFinished = 11,   // a file read finished without error (title)
};

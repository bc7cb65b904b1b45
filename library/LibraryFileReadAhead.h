#pragma once

#include "library/FileFingerprint.h"
#include "library/PreviousArtworkFile.h"
#include "library/PreviousLibraryFile.h"

#include <QString>

#include <atomic>
#include <future>
#include <optional>
#include <vector>

// What a library file lists, read without a library model: its songs and
// covers in document order, and the fingerprint of the read.
struct LibraryFileListing {
    std::vector<ListedSong> songs;
    std::vector<ListedCover> covers;
    FileFingerprint fingerprint;
    // The read met a parse or read error.
    bool failed = false;
};

// The share's library file read on a thread of its own, ahead of the run,
// while the music library is still loading: reading it needs no model, and
// the run's first stage then need not read it. The stage takes the listing
// only when the read was whole and without error and the file is, by its
// status then (device, inode, size, modification and change times), still
// the file read; otherwise it reads the file itself, as without a read
// ahead. Nothing is written and nothing reported.
class LibraryFileReadAhead {
public:
    // Starts reading the file at path.
    explicit LibraryFileReadAhead(QString path);
    // Stops a read still going at its next element and waits for it (a run
    // that ends before its first stage does not wait for the whole file).
    ~LibraryFileReadAhead();
    LibraryFileReadAhead(const LibraryFileReadAhead &) = delete;
    LibraryFileReadAhead &operator=(const LibraryFileReadAhead &) = delete;

    const QString &path() const { return m_path; }
    // Waits for the read to end and hands its listing over when it stands
    // for the file at path() as it is now; none otherwise, and after the
    // first call.
    std::optional<LibraryFileListing> take();

    // The listing of the file at path, read now; a failed one once
    // *cancelled is true.
    static LibraryFileListing read(const QString &path, const std::atomic<bool> *cancelled = nullptr);

private:
    QString m_path;
    std::atomic<bool> m_cancelled = false;
    std::future<LibraryFileListing> m_reading;
};

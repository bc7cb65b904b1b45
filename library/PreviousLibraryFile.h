#pragma once

#include "library/DescriptionFileReader.h"
#include "library/FileFingerprint.h"
#include "library/PreviousArtworkFile.h"
#include "library/SyncStage.h"
#include "xml/XmlAttributes.h"
#include "platform/ErrorRecord.h"

#include <QString>

#include <optional>

class LibraryFileReadAhead;

// One song a library file lists: its persistent ID (none when the element
// has none), the share-relative path its Location names and its size.
struct ListedSong {
    std::optional<QString> id;
    QString listedPath;
    std::optional<qint64> size; // "Size", when it is a whole number
};

// The library-file stage that comes first: reads the library file the share
// holds and marks every track it lists as unchanged (status 0, with the
// path it was listed at), counting the listed tracks the library no longer
// has as deleted. Covers it lists are taken as the artwork file's are.
class PreviousLibraryFile {
public:
    explicit PreviousLibraryFile(const SyncStage &stage) : m_stage(stage) {}

    // True when the file was read without a parse error; a missing file
    // reads as empty. The first error is reported and kept in parsingError().
    // A read ahead of the same file stands in for reading it when it can
    // (LibraryFileReadAhead::take); the stage reports the same either way.
    bool read(const QString &path, LibraryFileReadAhead *readAhead = nullptr);
    const std::optional<ErrorRecord> &parsingError() const { return m_parsingError; }
    // What the read found: complete only when the whole file was parsed.
    const FileFingerprint &fingerprint() const { return m_fingerprint; }

    // The song a Song element's attributes list.
    static ListedSong listedSongOf(const XmlAttributes &attributes);
    // Hands what a library file's element lists on: a song to takeSong, a
    // cover to takeCover; other elements list nothing.
    template <class TakeSong, class TakeCover>
    static void takeListed(const QString &name, const XmlAttributes &attributes, TakeSong &&takeSong,
                           TakeCover &&takeCover)
    {
        if (DescriptionFileReader::isNamed(name, QLatin1String("song"))) {
            takeSong(listedSongOf(attributes));
            return;
        }
        if (!DescriptionFileReader::isNamed(name, QLatin1String("albumcover")))
            return;
        if (std::optional<ListedCover> cover = PreviousArtworkFile::listedCoverOf(attributes))
            takeCover(std::move(*cover));
    }

private:
    void takeElement(const QString &name, const XmlAttributes &attributes);
    void takeSong(ListedSong &&song);
    bool takenFromReadAhead(const QString &path, LibraryFileReadAhead *readAhead);

    SyncStage m_stage;
    std::optional<ErrorRecord> m_parsingError;
    FileFingerprint m_fingerprint;
};

#pragma once

#include "library/DescriptionFileReader.h"
#include "library/FileFingerprint.h"
#include "library/SyncStage.h"
#include "xml/XmlAttributes.h"
#include "platform/ErrorRecord.h"

#include <QString>

#include <functional>
#include <optional>
#include <vector>

// One cover a description file lists: its album, the path of its picture
// and its type, as written.
struct ListedCover {
    QString albumId;
    QString path;
    std::optional<QString> type;
};

// The artwork-file stage that comes first: reads the artwork file the share
// holds and marks every cover it lists as unchanged (status 0, with the
// listed path and type); a listed cover the library does not know is kept
// as a plain AlbumCover, so the new file lists it again.
class PreviousArtworkFile {
public:
    explicit PreviousArtworkFile(const SyncStage &stage) : m_stage(stage) {}

    // True when the file was read without a parse error; a missing file
    // reads as empty. The first error is reported and kept in parsingError().
    bool read(const QString &path);
    const std::optional<ErrorRecord> &parsingError() const { return m_parsingError; }
    // What read() found of the file, so the writer can tell whether another
    // run stored it since.
    const FileFingerprint &fingerprint() const { return m_fingerprint; }

    // The covers the artwork file at path lists, up to its end or its first
    // error; none for a missing file.
    static std::vector<ListedCover> listedCovers(const QString &path);

    // The cover an AlbumCover element's attributes list; none without an
    // album or a path. The previous library file lists covers too.
    static std::optional<ListedCover> listedCoverOf(const XmlAttributes &attributes);
    // Takes one listed cover into the library.
    static void takeListedCover(LibraryModel &model, SyncCounters &counters, const ListedCover &listed);

private:
    // Every AlbumCover element of the file that lists a cover, in order.
    static void readListedCovers(const QString &path, const std::function<void(const ListedCover &)> &onCover,
                                 const DescriptionFileReader::ErrorHandler &onError,
                                 XmlPushParser::FileObserver *observer = nullptr);

    SyncStage m_stage;
    std::optional<ErrorRecord> m_parsingError;
    FileFingerprint m_fingerprint;
};

#pragma once

#include "library/SyncStage.h"
#include "xml/XmlAttributes.h"
#include "platform/ErrorRecord.h"

#include <QString>

#include <optional>

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

    // Takes one listed cover (an AlbumCover element's attributes) into the
    // library; the previous library file lists covers too.
    static void takeListedCover(LibraryModel &model, SyncCounters &counters, const XmlAttributes &attributes);

private:
    SyncStage m_stage;
    std::optional<ErrorRecord> m_parsingError;
};

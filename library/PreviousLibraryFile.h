#pragma once

#include "library/FileFingerprint.h"
#include "library/SyncStage.h"
#include "xml/XmlAttributes.h"
#include "platform/ErrorRecord.h"

#include <QString>

#include <optional>

// The library-file stage that comes first: reads the library file the share
// holds and marks every track it lists as unchanged (status 0, with the
// path it was listed at), counting the listed tracks the library no longer
// has as deleted. Covers it lists are taken as the artwork file's are.
class PreviousLibraryFile {
public:
    explicit PreviousLibraryFile(const SyncStage &stage) : m_stage(stage) {}

    // True when the file was read without a parse error; a missing file
    // reads as empty. The first error is reported and kept in parsingError().
    bool read(const QString &path);
    const std::optional<ErrorRecord> &parsingError() const { return m_parsingError; }
    // What the read found: complete only when the whole file was parsed.
    const FileFingerprint &fingerprint() const { return m_fingerprint; }

private:
    void takeElement(const QString &name, const XmlAttributes &attributes);

    SyncStage m_stage;
    std::optional<ErrorRecord> m_parsingError;
    FileFingerprint m_fingerprint;
};

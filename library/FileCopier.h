#pragma once

#include "platform/ErrorRecord.h"

#include <QString>

// Whole-file copy done by the kernel where it can (clone, then
// copy_file_range), else through a buffer. The source is opened read-only
// and must be a regular file (a FIFO or a device is refused at once, never
// waited on).
class FileCopier {
public:
    // Copies sourcePath into a new temporary file of its own beside
    // finalPath (see TemporaryFile), flushed to storage and closed, and
    // names it in *temporaryPath; renaming it into place is the caller's.
    // On failure nothing is left behind and *error says why, with the path.
    static bool copyFile(const QString &sourcePath, const QString &finalPath, QString *temporaryPath,
                         ErrorRecord *error);
    // Whether copyFile would get past opening sourcePath; else *error is the
    // error it would give.
    static bool canCopyFrom(const QString &sourcePath, ErrorRecord *error);
};

#pragma once

#include "platform/ErrorRecord.h"

#include <QString>

// Whole-file copy done by the kernel where it can (clone, then
// copy_file_range), else through a buffer. The destination is created or
// emptied; on failure it is removed and *error set.
class FileCopier {
public:
    static bool copyFile(const QString &sourcePath, const QString &destinationPath, ErrorRecord *error);
};

#pragma once

#include "platform/ErrorRecord.h"

#include <QByteArray>
#include <QString>

// Putting a completely written file under its final name in one step, so
// that no partial file ever stands under a final name.
class FileReplacement {
public:
    // Hidden name in the same folder, derived from the final name and ending
    // in ".partial" (never an audio extension): ".<name>.partial", or a
    // fixed-length hashed form when that would be too long for one name.
    static QString temporaryPathFor(const QString &finalPath);

    // Renames temporaryPath over finalPath. Where the file system refuses to
    // replace an existing file, removes finalPath and renames at once. On
    // failure the temporary file is removed, *error set, and finalPath keeps
    // whatever it held.
    static bool replace(const QString &temporaryPath, const QString &finalPath, ErrorRecord *error);

    // Renames temporaryPath to finalPath only if nothing is at finalPath
    // (a no-replace rename, else a hard link, else a re-check and rename).
    // When something is already there the temporary file is removed and
    // *alreadyExists is set; that is no failure.
    static bool moveIntoPlaceWithoutReplacing(const QString &temporaryPath, const QString &finalPath,
                                              bool *alreadyExists, ErrorRecord *error);

    // Writes bytes to the temporary path of finalPath, flushes them to disk
    // and replaces finalPath with it.
    static bool writeAtomically(const QString &finalPath, const QByteArray &bytes, ErrorRecord *error);
};

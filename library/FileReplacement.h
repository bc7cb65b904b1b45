#pragma once

#include "platform/ErrorRecord.h"

#include <QByteArray>
#include <QString>

// Putting a completely written file under its final name in one step, so
// that no partial file ever stands under a final name.
class FileReplacement {
public:
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

    // Writes bytes to a new temporary file of its own beside finalPath,
    // checks every write, the flush to disk and the close, and only then
    // replaces finalPath with it. On failure nothing of it is left.
    static bool writeAtomically(const QString &finalPath, const QByteArray &bytes, ErrorRecord *error);

private:
    static bool moveUnlessTaken(const QString &temporaryPath, const QString &finalPath, bool *alreadyExists,
                                ErrorRecord *error);
};

#pragma once

#include <QString>

#include <sys/types.h>

// Questions the engine asks of paths on the share.
namespace ShareFiles {

// Whether anything, a dangling link included, is at path.
bool exists(const QString &path);
// Whether what is at path belongs to another track than the one whose file
// is at sourcePath: it is not a regular file, or one of another size, or of
// the same size with other audio (sampled, see ShareFiles.cpp). One that
// matches is taken for that track's, copied by an earlier run.
bool holdsAnotherFile(const QString &path, const QString &sourcePath);
// Reads up to size bytes at offset, fewer only at the file's end; -1 with
// errno on failure.
ssize_t readAt(int descriptor, char *data, size_t size, off_t offset);
// The folder holding path: "." without a slash, "/" for the root.
QString parentFolder(const QString &path);

} // namespace ShareFiles

#pragma once

#include <QString>

// Questions the engine asks of paths on the share.
namespace ShareFiles {

// Whether anything, a dangling link included, is at path.
bool exists(const QString &path);
// Whether what is at path belongs to another track than the one whose file
// is at sourcePath: it is not a regular file, or one of another size, or of
// the same size with other audio (sampled, see ShareFiles.cpp). One that
// matches is taken for that track's, copied by an earlier run.
bool holdsAnotherFile(const QString &path, const QString &sourcePath);
// The folder holding path: "." without a slash, "/" for the root.
QString parentFolder(const QString &path);

} // namespace ShareFiles

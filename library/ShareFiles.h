#pragma once

#include <QString>

// Questions the engine asks of paths on the share.
namespace ShareFiles {

// Whether anything, a dangling link included, is at path.
bool exists(const QString &path);
// The folder holding path: "." without a slash, "/" for the root.
QString parentFolder(const QString &path);

} // namespace ShareFiles

#pragma once

#include <QString>

// Unicode spells an accented name two ways: composed ("é", as most Linux and
// Windows programs write names) and decomposed ("e" and a combining accent,
// as older macOS file systems stored them). A library exported on one
// system names its files in the form that system used; after the files
// have been copied here they may carry the other form, and the name as
// exported then finds nothing.
class FileNameForms {
public:
    // Where nothing is at path: path in the other normalization form
    // (composed or decomposed) when something is there. Null when something
    // is at path, when path reads the same in both forms, or when nothing is
    // under either.
    static QString otherFormOfMissing(const QString &path);
};

#pragma once

#include <QString>

// A library made on a system whose file names ignore letter case and the
// Unicode form of accented letters (macOS; Windows for case) names its files
// as that system found them: "Beatles" for a folder "beatles", "e" with a
// combining accent for a composed "é". Once the files have been copied
// here, where names are compared byte for byte, such a name finds nothing.
class FileNameSpelling {
public:
    // Where nothing is at the absolute path: the path of the one thing here
    // whose components match it when letter case and Unicode form are
    // ignored, as the other system would have found it. Null when something
    // is at path, when path is relative, when nothing matches, or when more
    // than one thing does (the choice would be a guess).
    static QString onDiskSpellingOfMissing(const QString &path);
    // name as such a system compares it: composed, in case-folded letters.
    static QString folded(const QString &name);
};

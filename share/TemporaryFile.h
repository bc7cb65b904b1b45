#pragma once

#include <QString>

// Files written beside their final name and renamed into place when
// complete. Each writer gets a name of its own, created exclusively, so two
// runs on one share never write into the same temporary file.
class TemporaryFile {
public:
    // How long a temporary file may go unwritten before it counts as left
    // behind by a run that was killed.
    static constexpr int staleAfterSeconds = 15 * 60;

    // The hidden prefix every temporary name of finalPath starts with:
    // ".<name>." or, when that would be too long for one name, a fixed-length
    // hashed form ".orvanasync-<md5 of name>.".
    static QString prefixFor(const QString &finalPath);
    // A fresh temporary path for finalPath in the same folder:
    // prefix + 16 random hexadecimal digits + ".partial" (never an audio
    // extension).
    static QString uniquePathFor(const QString &finalPath);

    // Creates a new, empty temporary file for finalPath (O_CREAT | O_EXCL |
    // O_NOFOLLOW, mode 0644) and answers its descriptor, or -1 with errno
    // set. *path receives its name.
    static int create(const QString &finalPath, QString *path);

    // Writes are confined to the folder root (the share): create() refuses,
    // with EXDEV, a folder that resolves outside it, through a symbolic link
    // or "..", and with the reason (ENOENT, ENOTDIR, ...) one that does not
    // resolve. Null: no confinement. Set before a run's writes begin.
    static void confineTo(const QString &root);

    // Creates folder and its missing parents; 0 or errno. Beneath the
    // confinement root each component is created and then opened without
    // following a symbolic link, so a linked folder of the share never gets
    // a folder created through it (EXDEV, as for a folder outside the root).
    static int makeFolders(const QString &folder);

    // Removes the temporary files of finalPath that nobody has written to for
    // staleAfterSeconds; a writer that is still at work keeps its file.
    static void removeStale(const QString &finalPath);
};

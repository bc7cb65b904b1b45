#pragma once

#include "platform/ErrorRecord.h"

#include <QString>

#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

// Copies the next new track's file into a temporary file of its own (see
// FileCopier) on a thread of its own, while the run puts the track before
// it in place: a share's round trips for two files then overlap. A copy
// made ahead is never more than a temporary file; renaming it into place at
// its track's turn is the caller's, and one not taken is removed.
class CopyAhead {
public:
    CopyAhead() = default;
    // Waits for the copy in flight, if any, and removes what it made.
    ~CopyAhead();
    CopyAhead(const CopyAhead &) = delete;
    CopyAhead &operator=(const CopyAhead &) = delete;

    // Starts copying sourcePath for the file at finalPath, unless that copy
    // is in flight already. One copy at a time: another one started before
    // and not taken is discarded first.
    void start(const QString &sourcePath, const QString &finalPath);
    // When the copy in flight is the one of sourcePath for finalPath: waits
    // for it and answers whether it succeeded, with its temporary file in
    // *temporaryPath or why not in *error (as FileCopier::copyFile does).
    // Otherwise answers nothing, and a copy in flight stays so.
    std::optional<bool> take(const QString &sourcePath, const QString &finalPath, QString *temporaryPath,
                             ErrorRecord *error);
    // Waits for the copy in flight, if any, and removes its temporary file.
    void discard();

private:
    struct Copy {
        QString sourcePath;
        QString finalPath;
        bool done = false;
        bool copied = false;
        QString temporaryPath;
        ErrorRecord error;

        bool isOf(const QString &source, const QString &final) const
        {
            return sourcePath == source && finalPath == final;
        }
    };

    void run();
    // Waits for the copy in flight to end and hands it over; lock held.
    Copy waitForCopy(std::unique_lock<std::mutex> &lock);

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::optional<Copy> m_copy;
    bool m_quit = false;
    // Started with the first copy, so a run that copies nothing has none.
    std::thread m_thread;
};

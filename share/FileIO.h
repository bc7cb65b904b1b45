#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdio>

// A minimal text-file writer: open (create or empty), any number of string
// writes, close. One FileIO writes one file on one thread.
class FileIO {
public:
    FileIO() = default;
    ~FileIO();
    FileIO(const FileIO &) = delete;
    FileIO &operator=(const FileIO &) = delete;

    // Opens path for writing, creating it or emptying it. Answers 0, or the
    // system's error number (errno) when it cannot be opened.
    int fileOpen(const QString &path);
    // Creates a new temporary file of its own beside finalPath (see
    // TemporaryFile) and opens it for writing; 0 or errno. path() names it.
    int fileOpenTemporaryFor(const QString &finalPath);
    // The file opened last.
    const QString &path() const { return m_path; }
    // Writes text as UTF-8 with every U+0000 removed and nothing appended.
    // Answers the number of bytes written, or EOF (negative) on failure.
    int fileWriteString(const QString &text);
    // text as UTF-8 with every U+0000 removed: what fileWriteString writes.
    static QByteArray utf8WithoutNul(const QString &text);
    // Writes bytes as they are (the caller made them UTF-8 without U+0000).
    // Answers the number of bytes written, or EOF (negative) on failure.
    int fileWriteBytes(QByteArrayView bytes);
    // Closes the file. Answers 0, or EOF when flushing or closing failed
    // (the file is closed either way).
    int fileClose();

    // Flushes the written bytes to the storage device; 0 or errno.
    int fileSync();
    // Whether any write since fileOpen failed, and the first error number.
    bool hadWriteError() const { return m_writeErrno != 0; }
    int writeErrno() const { return m_writeErrno; }

    bool isOpen() const { return m_fileHandle != nullptr; }

private:
    std::FILE *m_fileHandle = nullptr;
    QString m_path;
    int m_writeErrno = 0;
};

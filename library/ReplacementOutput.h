#pragma once

#include <QByteArrayView>
#include <QString>

#include <vector>

class FileFingerprint;
class FileIO;

// The bytes of a file that is to replace a previous one. While they repeat
// the previous file they are only compared with it; at the first difference
// the previous file's matching start is copied into the output, and from
// then on everything goes to the output. A file that comes out identical
// to the previous one is thus never written again (a no-change run).
//
// Given the fingerprint of an earlier read of the previous file, and the
// file unchanged since by its status, the bytes are compared with the
// fingerprint's chunk hashes instead, and the previous file is read again
// only to copy its matching start (each chunk checked against its hash).
class ReplacementOutput {
public:
    // output: the new file, opened under its temporary name. previousPath:
    // the file it is to replace; when that is missing or not a regular file,
    // everything goes to output at once.
    ReplacementOutput(FileIO &output, const QString &previousPath, const FileFingerprint *previousRead = nullptr);
    ~ReplacementOutput();
    ReplacementOutput(const ReplacementOutput &) = delete;
    ReplacementOutput &operator=(const ReplacementOutput &) = delete;

    void write(QByteArrayView bytes);
    // text as UTF-8 with every U+0000 removed, as FileIO writes it.
    void writeString(const QString &text);

    // Called once everything is written: true when the bytes were the whole
    // previous file, so output holds nothing and the previous file stays;
    // else output holds the whole new file (unless readErrno() says the
    // previous file's start could not be copied).
    bool repeatsPrevious();
    // The error number of a failed read of the previous file while its start
    // was copied into output (ESTALE: it no longer holds what its
    // fingerprint says); 0 when none failed.
    int readErrno() const { return m_readErrno; }

    // Whether the regular file at path holds exactly bytes, for a file that
    // is built whole in memory before it replaces the previous one.
    static bool fileHolds(const QString &path, QByteArrayView bytes);

private:
    bool matchesPrevious(QByteArrayView bytes);
    bool refill();
    void copyMatchedStart();
    void writeByFingerprint(QByteArrayView bytes);
    bool chunkMatches(qsizetype index, QByteArrayView chunk) const;
    bool repeatsFingerprint() const;

    FileIO &m_output;
    int m_previous = -1;
    bool m_comparing = false;
    // Set while comparing by the previous read's fingerprint; m_buffer then
    // holds the new file's current chunk.
    const FileFingerprint *m_fingerprint = nullptr;
    // How much was written so far, all of it equal to the previous file's start.
    qint64 m_matched = 0;
    std::vector<char> m_buffer;
    size_t m_bufferPosition = 0;
    size_t m_bufferEnd = 0;
    int m_readErrno = 0;
};

#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QPair>
#include <QString>

// Turns the file URLs of a library export into local paths: percent-decodes
// them, understands "file://localhost/", "file:///" and drive-letter forms,
// and replaces a prefix the exporting machine saw with where the files are
// here ("file://localhost/C:/Users/ann/Music/" -> "/home/ann/Music/"). A
// prefix ends at a folder: "/Music" maps "/Music/a.mp3", not "/Music Videos".
// A Windows prefix ("C:\Users\Ann\Music", "\\nas\Music") may be written
// with either slash and in any letter case.
class FileLocationMapper {
public:
    // Pairs (prefix as exported, local folder); the longest matching prefix wins.
    using PathMap = QList<QPair<QString, QString>>;

    FileLocationMapper() = default;
    explicit FileLocationMapper(PathMap map);

    // The local path of a file URL or absolute path, or null when the
    // location is not a local file (another URL scheme, empty, a NUL byte).
    QString pathForLocation(const QString &location) const;
    // The same for a location as UTF-8 bytes (as read from the export).
    QString pathForLocation(QByteArrayView utf8Location) const;

    // Whether no prefix is mapped.
    bool isEmpty() const { return m_prefixes.isEmpty(); }
    // A local path (as pathForLocation gives it, not decoded again) under a
    // mapped prefix's path moved to its local folder; any other unchanged.
    QString movedPath(const QString &path) const;

    // The path a file URL names, without remapping; null when not a file.
    static QString pathFromFileUrl(const QString &location);
    static QString percentDecoded(const QString &text);

private:
    static QString pathFromDecodedUrl(QString decoded);
    QString pathForDecodedLocation(const QString &decoded) const;

    struct Prefix {
        QString decoded;
        QByteArray decodedUtf8;
        QString localFolder;
        // The prefix as the path of a file (a URL's path, a Windows path
        // with slashes); Windows paths compare without regard to case.
        QString path;
        Qt::CaseSensitivity pathCase = Qt::CaseSensitive;
    };
    QList<Prefix> m_prefixes; // longest first
    bool m_prefixesMatchAsBytes = true;
};

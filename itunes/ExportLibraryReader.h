#pragma once

#include "itunes/ExportLibraryContents.h"
#include "itunes/FileLocationMapper.h"
#include "platform/ErrorRecord.h"

class XmlPushParser;

#include <QByteArray>
#include <QHash>
#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// Reads a library export ("iTunes Music Library.xml", an XML property list)
// streaming, as the events of a push parser: no tree, no DTD, no entities,
// no network. Malformed entries are left out with a warning; a document that
// is not well-formed, or not a property list, fails as a whole and leaves the
// contents empty.
class ExportLibraryReader {
public:
    static const QString ErrorDomain;
    static constexpr int MaximumWarnings = 100;

    explicit ExportLibraryReader(FileLocationMapper locations = {});

    bool readFile(const QString &path);
    bool readBytes(const QByteArray &bytes);

    // Set when a read returned false.
    const ErrorRecord &error() const { return m_error; }
    // At most MaximumWarnings lines, then one line with the number left out.
    QStringList warnings() const;
    int warningCount() const { return m_warningCount; }
    // How many entries were left out, by reason ("tracks without a ...").
    const QMap<QString, int> &leftOut() const { return m_leftOut; }
    // The reason each left-out track with a "Track ID" was left out for.
    const QHash<qint64, QString> &leftOutTracks() const { return m_leftOutTracks; }

    // The persistent ID given to a track ("Track") or playlist ("Playlist")
    // that has none: the first 64 bits of the SHA-1 of
    // "<Library Persistent ID>/<kind>/<Track ID or Playlist ID>", as 16
    // upper-case hexadecimal digits, the same on every export of a library.
    static QString derivedPersistentID(const QString &libraryPersistentID, const char *kind, qint64 id);

    const ExportLibraryContents &contents() const { return m_contents; }
    ExportLibraryContents takeContents() { return std::move(m_contents); }

private:
    class Parse;
    friend class Parse;
    bool finish(const Parse &parse, bool parsed, const QString &source);
    void clear();
    bool read(const std::function<bool(XmlPushParser &)> &parse, const QString &source);
    void assignDerivedPersistentIDs();
    void warn(const QString &message);
    void leaveOut(const QString &reason, const QString &message, std::optional<qint64> trackID = std::nullopt);

    FileLocationMapper m_locations;
    ExportLibraryContents m_contents;
    ErrorRecord m_error;
    QStringList m_warnings;
    int m_warningCount = 0;
    QMap<QString, int> m_leftOut;
    QHash<qint64, QString> m_leftOutTracks;
};

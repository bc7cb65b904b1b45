#pragma once

#include "itunes/ExportLibraryContents.h"
#include "itunes/FileLocationMapper.h"
#include "platform/ErrorRecord.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

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

    const ExportLibraryContents &contents() const { return m_contents; }
    ExportLibraryContents takeContents() { return std::move(m_contents); }

private:
    class Parse;
    friend class Parse;
    bool finish(const Parse &parse, bool parsed, const QString &source);
    void warn(const QString &message);

    FileLocationMapper m_locations;
    ExportLibraryContents m_contents;
    ErrorRecord m_error;
    QStringList m_warnings;
    int m_warningCount = 0;
};

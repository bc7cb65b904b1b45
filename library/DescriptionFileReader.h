#pragma once

#include "platform/ErrorRecord.h"
#include "xml/XmlAttributes.h"
#include "xml/XmlPushParser.h"

#include <QString>

#include <functional>

// Event reader for the share's description files (over XmlPushParser). It
// reports each start tag (the name as written, with any prefix, and the
// attributes) in document order, and the first error, after which it stops.
// No external entity, DTD or network access; entity expansion stays within
// libxml2's default limits.
class DescriptionFileReader {
public:
    using StartElement = std::function<void(const QString &name, const XmlAttributes &attributes)>;
    using ErrorHandler = std::function<void(const ErrorRecord &error)>;

    DescriptionFileReader(StartElement startElement, ErrorHandler errorHandler);

    // Reads the file at path. A missing file reads as empty without an
    // error; a file that cannot be read reports a system error. observer,
    // when given, sees the bytes as they are read.
    void readFile(const QString &path, XmlPushParser::FileObserver *observer = nullptr);
    // Reads bytes held in memory (the file readers' fuzz entry).
    void readBytes(const char *data, qsizetype size);

    // Whether an element name as written is lowerName (ASCII, lower case)
    // once converted to lower case: the readers match names in any case.
    static bool isNamed(const QString &name, QLatin1String lowerName);

private:
    StartElement m_startElement;
    ErrorHandler m_errorHandler;
};

#include "library/DescriptionFileReader.h"

#include "library/MusicLibrary.h"
#include "library/SystemError.h"
#include "library/XmlPushParser.h"

#include <cerrno>

namespace {

class StartTagHandler : public XmlPushParser::Handler {
public:
    explicit StartTagHandler(const DescriptionFileReader::StartElement &startElement) : m_startElement(startElement) {}

    void startElement(QByteArrayView localName, QByteArrayView prefix, const XmlAttributes &attributes) override
    {
        QString name = QString::fromUtf8(localName);
        if (!prefix.isNull())
            name = QString::fromUtf8(prefix) + u':' + name;
        m_startElement(name, attributes);
    }

private:
    const DescriptionFileReader::StartElement &m_startElement;
};

ErrorRecord parserError(const XmlPushParser::Failure &failure)
{
    ErrorRecord error(MusicLibrary::XMLParserErrorDomain, failure.code);
    error.addDetail(ErrorRecord::LocalizedDescriptionKey, failure.message);
    error.addDetail(QStringLiteral("LineNumber"), failure.line);
    error.addDetail(QStringLiteral("ColumnNumber"), failure.column);
    return error;
}

} // namespace

DescriptionFileReader::DescriptionFileReader(StartElement startElement, ErrorHandler errorHandler)
    : m_startElement(std::move(startElement)), m_errorHandler(std::move(errorHandler))
{
}

// Only start tags are wanted: no text, no end tags.
static constexpr XmlPushParser::Options ParserOptions{XmlPushParser::Entities::ExpandInternal, false, false};

void DescriptionFileReader::readFile(const QString &path)
{
    StartTagHandler handler(m_startElement);
    XmlPushParser parser(handler, ParserOptions);
    if (parser.readFile(path))
        return;
    const XmlPushParser::Failure &failure = parser.failure();
    if (failure.systemError == ENOENT)
        return; // a missing file reads as empty
    m_errorHandler(failure.systemError != 0 ? SystemError::fromErrno(failure.systemError, path) : parserError(failure));
}

void DescriptionFileReader::readBytes(const char *data, qsizetype size)
{
    StartTagHandler handler(m_startElement);
    XmlPushParser parser(handler, ParserOptions);
    if (!parser.readBytes(data, size))
        m_errorHandler(parserError(parser.failure()));
}

bool DescriptionFileReader::isNamed(const QString &name, QLatin1String lowerName)
{
    if (name.size() != lowerName.size())
        return name.size() > lowerName.size() && name.toLower() == lowerName;
    for (const QChar character : name) {
        if (character.unicode() >= 0x80)
            return name.toLower() == lowerName;
    }
    return name.compare(lowerName, Qt::CaseInsensitive) == 0;
}

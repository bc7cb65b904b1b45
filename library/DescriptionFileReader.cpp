#include "library/DescriptionFileReader.h"

#include "library/MusicLibrary.h"
#include "library/SystemError.h"
#include "platform/SystemLog.h"
#include "platform/ValueLimit.h"
#include "xml/XmlPushParser.h"

#include <cerrno>

namespace {

class StartTagHandler : public XmlPushParser::Handler {
public:
    explicit StartTagHandler(const DescriptionFileReader::StartElement &startElement) : m_startElement(startElement) {}

    void startElement(QByteArrayView localName, QByteArrayView prefix, const XmlAttributes &attributes) override
    {
        // An element holding a value past the cap is ignored, as if absent.
        if (attributes.longestValue() > ValueLimit::Bytes) {
            ++m_refused;
            return;
        }
        QString name = QString::fromUtf8(localName);
        if (!prefix.isNull())
            name = QString::fromUtf8(prefix) + u':' + name;
        m_startElement(name, attributes);
    }

    void reportRefused(const QString &source) const
    {
        if (m_refused > 0)
            systemLog(QStringLiteral("%1: %2 elements holding a value longer than %3 were ignored")
                          .arg(source)
                          .arg(m_refused)
                          .arg(ValueLimit::text()));
    }

private:
    const DescriptionFileReader::StartElement &m_startElement;
    qsizetype m_refused = 0;
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

void DescriptionFileReader::readFile(const QString &path, XmlPushParser::FileObserver *observer)
{
    StartTagHandler handler(m_startElement);
    XmlPushParser parser(handler, ParserOptions);
    const bool read = parser.readFile(path, observer);
    handler.reportRefused(path);
    if (read)
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
    const bool read = parser.readBytes(data, size);
    handler.reportRefused(QStringLiteral("A description file"));
    if (!read)
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

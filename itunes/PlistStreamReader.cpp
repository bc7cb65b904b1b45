#include "itunes/PlistStreamReader.h"

#include <libxml/xmlreader.h>

namespace {

constexpr int ReaderOptions = XML_PARSE_NONET | XML_PARSE_NOCDATA | XML_PARSE_COMPACT;

} // namespace

void PlistStreamReader::ReaderDeleter::operator()(_xmlTextReader *reader) const
{
    xmlFreeTextReader(reader);
}

PlistStreamReader::PlistStreamReader() = default;
PlistStreamReader::~PlistStreamReader() = default;

void PlistStreamReader::onError(void *self, const xmlError *error)
{
    auto *reader = static_cast<PlistStreamReader *>(self);
    if (error && error->message && reader->m_lastError.isEmpty())
        reader->m_lastError = QString::fromUtf8(error->message).trimmed();
}

void PlistStreamReader::open(_xmlTextReader *reader, const QString &what)
{
    m_reader.reset(reader);
    if (!reader) {
        m_openFailure = {QStringLiteral("cannot open %1").arg(what), 0};
        return;
    }
    xmlTextReaderSetStructuredErrorHandler(reader, reinterpret_cast<xmlStructuredErrorFunc>(&PlistStreamReader::onError), this);
    // Belt and braces: the options already leave these off.
    xmlTextReaderSetParserProp(reader, XML_PARSER_LOADDTD, 0);
    xmlTextReaderSetParserProp(reader, XML_PARSER_DEFAULTATTRS, 0);
    xmlTextReaderSetParserProp(reader, XML_PARSER_SUBST_ENTITIES, 0);
    xmlTextReaderSetParserProp(reader, XML_PARSER_VALIDATE, 0);
}

bool PlistStreamReader::openFile(const QString &path)
{
    const QByteArray name = path.toUtf8();
    open(xmlReaderForFile(name.constData(), nullptr, ReaderOptions), path);
    return bool(m_reader);
}

bool PlistStreamReader::openMemory(const QByteArray &bytes)
{
    open(xmlReaderForMemory(bytes.constData(), int(qMin<qsizetype>(bytes.size(), INT_MAX)), nullptr, nullptr, ReaderOptions),
         QStringLiteral("memory"));
    return bool(m_reader);
}

int PlistStreamReader::line() const
{
    if (!m_reader)
        return 0;
    return xmlTextReaderGetParserLineNumber(m_reader.get());
}

void PlistStreamReader::fail(const QString &message) const
{
    throw Failure{message, line()};
}

PlistStreamReader::Event PlistStreamReader::next()
{
    xmlTextReaderPtr reader = m_reader.get();
    for (;;) {
        int result = 1;
        if (m_pending)
            m_pending = false;
        else
            result = xmlTextReaderRead(reader);
        if (result == 0)
            return Event::EndOfDocument;
        if (result < 0)
            fail(m_lastError.isEmpty() ? QStringLiteral("the XML is not well-formed") : m_lastError);
        switch (xmlTextReaderNodeType(reader)) {
        case XML_READER_TYPE_ELEMENT:
            m_name = reinterpret_cast<const char *>(xmlTextReaderConstLocalName(reader));
            m_empty = xmlTextReaderIsEmptyElement(reader) == 1;
            return Event::StartElement;
        case XML_READER_TYPE_END_ELEMENT:
            m_name = reinterpret_cast<const char *>(xmlTextReaderConstLocalName(reader));
            return Event::EndElement;
        case XML_READER_TYPE_TEXT:
        case XML_READER_TYPE_CDATA:
        case XML_READER_TYPE_SIGNIFICANT_WHITESPACE:
        case XML_READER_TYPE_WHITESPACE:
            m_text = reinterpret_cast<const char *>(xmlTextReaderConstValue(reader));
            if (!m_text)
                m_text = "";
            return Event::Text;
        case XML_READER_TYPE_ENTITY_REFERENCE:
        case XML_READER_TYPE_ENTITY:
            fail(QStringLiteral("entity references are not allowed"));
        default:
            break; // whitespace, comments, processing instructions, document type
        }
    }
}

void PlistStreamReader::skipElement()
{
    if (m_empty)
        return;
    const int result = xmlTextReaderNext(m_reader.get());
    if (result < 0)
        fail(m_lastError.isEmpty() ? QStringLiteral("the XML is not well-formed") : m_lastError);
    if (result == 0)
        fail(QStringLiteral("the document ends inside <%1>").arg(QString::fromUtf8(m_name ? m_name : "")));
    m_pending = true;
}

void PlistStreamReader::readText(std::string &out)
{
    if (m_empty)
        return;
    for (;;) {
        switch (next()) {
        case Event::Text:
            out.append(m_text);
            break;
        case Event::EndElement:
            return;
        case Event::StartElement:
            fail(QStringLiteral("unexpected <%1> inside a text value").arg(QString::fromUtf8(m_name)));
        case Event::EndOfDocument:
            fail(QStringLiteral("the document ends inside a text value"));
        }
    }
}

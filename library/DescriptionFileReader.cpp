#include "library/DescriptionFileReader.h"

#include "library/MusicLibrary.h"
#include "library/SystemError.h"

#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

QByteArrayView view(const xmlChar *text)
{
    return text ? QByteArrayView(reinterpret_cast<const char *>(text)) : QByteArrayView();
}

struct FileCloser {
    void operator()(std::FILE *file) const { std::fclose(file); }
};

} // namespace

// The libxml2 push parser with its callbacks; owns the parser context.
struct DescriptionFileReader::Parser {
    explicit Parser(DescriptionFileReader &reader)
        : reader(reader)
    {
        xmlSAXVersion(&handler, 2);
        // Only start tags are wanted: no tree, no text, no end tags.
        handler.startElementNs = &Parser::startElement;
        handler.endElementNs = nullptr;
        handler.startElement = nullptr;
        handler.endElement = nullptr;
        handler.characters = nullptr;
        handler.cdataBlock = nullptr;
        handler.ignorableWhitespace = nullptr;
        handler.reference = nullptr;
        handler.comment = nullptr;
        handler.processingInstruction = nullptr;
        // Never fetch an external DTD or entity.
        handler.externalSubset = nullptr;
        handler.resolveEntity = nullptr;
        handler.entityDecl = &Parser::entityDeclaration;
        handler.serror = &Parser::structuredError;
        handler.error = nullptr;
        handler.warning = nullptr;
        // libxml2's own SAX2 callbacks (DTD and entity bookkeeping) need the
        // context as their user data, so this object travels in _private.
        context = xmlCreatePushParserCtxt(&handler, nullptr, nullptr, 0, nullptr);
        if (context) {
            context->_private = this;
            xmlCtxtUseOptions(context, XML_PARSE_NOENT | XML_PARSE_NONET);
        }
    }

    ~Parser()
    {
        if (context) {
            if (context->myDoc)
                xmlFreeDoc(context->myDoc);
            context->myDoc = nullptr;
            xmlFreeParserCtxt(context);
        }
    }

    Parser(const Parser &) = delete;
    Parser &operator=(const Parser &) = delete;

    bool feed(const char *data, int size, bool last)
    {
        if (!context || reader.m_failed)
            return false;
        xmlParseChunk(context, data, size, last ? 1 : 0);
        if (!context->wellFormed && !reader.m_failed)
            reportFallbackError();
        return !reader.m_failed;
    }

    void reportFallbackError()
    {
        ErrorRecord error(MusicLibrary::XMLParserErrorDomain, context->errNo != 0 ? context->errNo : XML_ERR_INTERNAL_ERROR);
        error.addDetail(ErrorRecord::LocalizedDescriptionKey, QStringLiteral("The document is not well-formed."));
        fail(error);
    }

    void fail(const ErrorRecord &error)
    {
        if (reader.m_failed)
            return;
        reader.m_failed = true;
        if (context)
            xmlStopParser(context);
        try {
            reader.m_errorHandler(error);
        } catch (...) {
        }
    }

    static Parser *from(void *userData)
    {
        return static_cast<Parser *>(static_cast<xmlParserCtxtPtr>(userData)->_private);
    }

    static void startElement(void *userData, const xmlChar *localName, const xmlChar *prefix, const xmlChar *,
                             int, const xmlChar **, int attributeCount, int, const xmlChar **attributes)
    {
        Parser *parser = from(userData);
        if (parser->reader.m_failed)
            return;
        try {
            parser->attributes.clear();
            for (int index = 0; index < attributeCount; ++index) {
                const xmlChar **attribute = attributes + 5 * index;
                const auto *value = reinterpret_cast<const char *>(attribute[3]);
                const auto *end = reinterpret_cast<const char *>(attribute[4]);
                parser->attributes.append(view(attribute[1]), view(attribute[0]),
                                          QByteArrayView(value, end - value));
            }
            QString name = QString::fromUtf8(view(localName));
            if (prefix)
                name = QString::fromUtf8(view(prefix)) + u':' + name;
            parser->reader.m_startElement(name, parser->attributes);
        } catch (...) {
            ErrorRecord error(MusicLibrary::XMLParserErrorDomain, XML_ERR_NO_MEMORY);
            error.addDetail(ErrorRecord::LocalizedDescriptionKey, QStringLiteral("Reading stopped: out of memory."));
            parser->fail(error);
        }
    }

    // Keeps internal entities only; external ones are never loaded.
    static void entityDeclaration(void *userData, const xmlChar *name, int type, const xmlChar *publicId,
                                  const xmlChar *systemId, xmlChar *content)
    {
        if (type != XML_INTERNAL_GENERAL_ENTITY && type != XML_INTERNAL_PARAMETER_ENTITY)
            return;
        xmlSAX2EntityDecl(userData, name, type, publicId, systemId, content);
    }

    static void structuredError(void *userData, xmlErrorPtr xmlError)
    {
        if (!xmlError || xmlError->level != XML_ERR_FATAL)
            return;
        Parser *parser = from(userData);
        ErrorRecord error(MusicLibrary::XMLParserErrorDomain, xmlError->code);
        const QString message = QString::fromUtf8(xmlError->message ? xmlError->message : "").trimmed();
        error.addDetail(ErrorRecord::LocalizedDescriptionKey, message);
        error.addDetail(QStringLiteral("LineNumber"), xmlError->line);
        error.addDetail(QStringLiteral("ColumnNumber"), xmlError->int2);
        parser->fail(error);
    }

    DescriptionFileReader &reader;
    xmlSAXHandler handler{};
    xmlParserCtxtPtr context = nullptr;
    XmlAttributes attributes;
};

DescriptionFileReader::DescriptionFileReader(StartElement startElement, ErrorHandler errorHandler)
    : m_startElement(std::move(startElement)), m_errorHandler(std::move(errorHandler))
{
}

void DescriptionFileReader::readFile(const QString &path)
{
    m_failed = false;
    const QByteArray nativePath = path.toUtf8();
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(nativePath.constData(), "rbe"));
    if (!file) {
        if (errno != ENOENT)
            m_errorHandler(SystemError::fromErrno(errno, path));
        return;
    }
    Parser parser(*this);
    if (!parser.context) {
        m_errorHandler(ErrorRecord::withDescription(MusicLibrary::XMLParserErrorDomain, XML_ERR_NO_MEMORY,
                                                    QStringLiteral("Cannot create the XML parser.")));
        return;
    }
    std::vector<char> buffer(static_cast<size_t>(ChunkSize));
    for (;;) {
        const size_t got = std::fread(buffer.data(), 1, buffer.size(), file.get());
        if (got < buffer.size() && std::ferror(file.get())) {
            parser.fail(SystemError::fromErrno(errno != 0 ? errno : EIO, path));
            return;
        }
        const bool last = got < buffer.size();
        if (!parser.feed(buffer.data(), int(got), last) || last)
            return;
    }
}

void DescriptionFileReader::readBytes(const char *data, qsizetype size)
{
    m_failed = false;
    Parser parser(*this);
    if (!parser.context)
        return;
    qsizetype offset = 0;
    do {
        const qsizetype chunk = std::min(size - offset, ChunkSize);
        const bool last = offset + chunk >= size;
        if (!parser.feed(data + offset, int(chunk), last))
            return;
        offset += chunk;
    } while (offset < size);
}

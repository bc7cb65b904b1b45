#include "xml/CXHTMLDocument.h"

#include "xml/LibXMLSupport.h"

#include <limits>

namespace {

// Never the network, no error text on stderr.
constexpr int stringParseOptions = HTML_PARSE_NONET | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING;
// No network (2048), no blank nodes (256), no warnings (64); no error text.
constexpr int dataParseOptions = HTML_PARSE_NONET | HTML_PARSE_NOBLANKS | HTML_PARSE_NOWARNING | HTML_PARSE_NOERROR;

htmlDocPtr parseHTML(const QByteArray &bytes, const char *encoding, int options)
{
    initialiseLibXML();
    xmlResetLastError();
    if (bytes.size() > std::numeric_limits<int>::max())
        return nullptr;
    LibXMLHTMLParserContextOwner context(htmlNewParserCtxt());
    if (!context)
        return nullptr;
    markParserContext(context.get());
    return htmlCtxtReadMemory(context.get(), bytes.constData(), int(bytes.size()), nullptr, encoding, options);
}

// Makes the first child of /html/body the document's root in place of the
// html element, which is freed with the rest of the page.
void rerootAtBody(xmlDoc *document)
{
    LibXMLXPathContextOwner context(xmlXPathNewContext(document));
    if (!context)
        return;
    LibXMLXPathObjectOwner result(xmlXPathEvalExpression(reinterpret_cast<const xmlChar *>("/html/body"), context.get()));
    if (!result || result->type != XPATH_NODESET || !result->nodesetval || result->nodesetval->nodeNr < 1)
        return;
    xmlNode *body = result->nodesetval->nodeTab[0];
    if (!body->children)
        return;
    xmlNode *replaced = xmlDocSetRootElement(document, body->children);
    if (replaced)
        xmlFreeNode(replaced);
}

} // namespace

QString CXHTMLDocument::className() const
{
    return QStringLiteral("CXHTMLDocument");
}

CXHTMLDocumentPtr CXHTMLDocument::initWithXHTMLString(const QString &string, unsigned, ErrorRecord *error)
{
    htmlDocPtr document = parseHTML(string.toUtf8(), "UTF-8", stringParseOptions);
    if (!document) {
        const ErrorRecord failure = parseError(QStringLiteral("unknown"), 1);
        if (error)
            *error = failure;
        return nullptr;
    }
    rerootAtBody(document);
    return adoptDocument<CXHTMLDocument>(document, "CXHTMLDocument", error);
}

CXHTMLDocumentPtr CXHTMLDocument::initWithXHTMLData(const QByteArray &data, QStringConverter::Encoding encoding,
                                                    unsigned, ErrorRecord *error)
{
    htmlDocPtr document = nullptr;
    if (!data.isEmpty())
        document = parseHTML(data, characterSetName(encoding).constData(), dataParseOptions);
    xmlResetLastError();
    if (!document) {
        if (error)
            *error = ErrorRecord(ErrorDomain, -1);
        return nullptr;
    }
    return adoptDocument<CXHTMLDocument>(document, "CXHTMLDocument", error);
}

CXMLDocumentPtr CXHTMLDocument::wrapCopy(_xmlDoc *copy) const
{
    return adoptDocument<CXHTMLDocument>(copy, "CXHTMLDocument", nullptr);
}

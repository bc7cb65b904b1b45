#include "fuzz/xml/TreeWalk.h"

#include <cstddef>
#include <cstdint>

// Input: an XPath expression, a NUL byte, then a document. The expression is
// evaluated on the document and on its root element, with and without
// namespace mappings, and every node found is queried.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype split = input.indexOf('\0');
    if (split < 0)
        return 0;
    const QString expression = QString::fromUtf8(input.left(split));
    const CXMLDocumentPtr document = CXMLDocument::initWithData(input.mid(split + 1), 0, nullptr);
    if (!document)
        return 0;
    const QMap<QString, QString> mappings{{QStringLiteral("s"), QStringLiteral("http://schemas.xmlsoap.org/soap/envelope/")},
                                          {QStringLiteral("v"), QStringLiteral("urn:svc")}};
    for (const CXMLNodePtr &context : {CXMLNodePtr(document), CXMLNodePtr(document->rootElement())}) {
        ErrorRecord error;
        if (const std::optional<CXMLNodeList> nodes = context->nodesForXPath(expression, &error)) {
            for (const CXMLNodePtr &node : *nodes)
                walkEveryNode(node);
        }
        if (const std::optional<CXMLNodeList> nodes = context->nodesForXPath(expression, mappings, &error)) {
            for (const CXMLNodePtr &node : *nodes)
                (void)node->description();
        }
        (void)context->nodeForXPath(expression, nullptr);
    }
    return 0;
}

#include "xml/LibXMLSupport.h"

#include <QCoreApplication>

#include <libxml/xmlIO.h>

#include <mutex>

namespace {

// The address identifies the model's parser contexts.
char modelParserContextMarker;

xmlExternalEntityLoader previousEntityLoader = nullptr;

// Documents the model parses come from servers and files nobody vouches
// for: an external DTD or entity in them must never make libxml2 open a file
// or a URL. Other users of libxml2 in the process keep the loader they had.
xmlParserInputPtr guardedEntityLoader(const char *URL, const char *ID, xmlParserCtxtPtr context)
{
    if (context && context->_private == &modelParserContextMarker)
        return nullptr;
    return previousEntityLoader ? previousEntityLoader(URL, ID, context) : nullptr;
}

int appendToByteArray(void *context, const char *buffer, int length)
{
    static_cast<QByteArray *>(context)->append(buffer, length);
    return length;
}

} // namespace

void initialiseLibXML()
{
    static std::once_flag once;
    std::call_once(once, [] {
        xmlInitParser();
        previousEntityLoader = xmlGetExternalEntityLoader();
        xmlSetExternalEntityLoader(guardedEntityLoader);
    });
}

Q_COREAPP_STARTUP_FUNCTION(initialiseLibXML)

void markParserContext(xmlParserCtxtPtr context)
{
    context->_private = &modelParserContextMarker;
}

QByteArray dumpNode(xmlNode *node)
{
    QByteArray bytes;
    LibXMLOutputBufferOwner buffer(xmlOutputBufferCreateIO(appendToByteArray, nullptr, &bytes, nullptr));
    if (!buffer)
        return bytes;
    xmlNodeDumpOutput(buffer.get(), node->doc, node, 0, 0, "utf-8");
    buffer.reset(); // flushes
    return bytes;
}

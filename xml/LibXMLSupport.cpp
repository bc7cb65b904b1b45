#include "xml/LibXMLSupport.h"

#include <QCoreApplication>

#include <libxml/xmlIO.h>

#include <exception>
#include <mutex>
#include <utility>

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

struct DumpTarget {
    QByteArray bytes;
    std::exception_ptr failure;
};

// A libxml2 write callback: an exception must not unwind through libxml2,
// so it is kept for dumpNode to rethrow and the write fails.
int appendToByteArray(void *context, const char *buffer, int length) noexcept
{
    auto *target = static_cast<DumpTarget *>(context);
    try {
        target->bytes.append(buffer, length);
        return length;
    } catch (...) {
        target->failure = std::current_exception();
        return -1;
    }
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
    DumpTarget target;
    LibXMLOutputBufferOwner buffer(xmlOutputBufferCreateIO(appendToByteArray, nullptr, &target, nullptr));
    if (!buffer)
        return {};
    xmlNodeDumpOutput(buffer.get(), node->doc, node, 0, 0, "utf-8");
    buffer.reset(); // flushes
    if (target.failure)
        std::rethrow_exception(target.failure);
    return std::move(target.bytes);
}

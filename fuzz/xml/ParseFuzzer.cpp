#include "fuzz/xml/TreeWalk.h"

#include <cstddef>
#include <cstdint>

// Bytes from a server: both parse forms, then every query on the tree.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    if (const CXMLDocumentPtr document = CXMLDocument::initWithData(bytes, 0, nullptr)) {
        walkEveryNode(document);
        (void)document->XMLData();
        (void)document->XMLString();
    }
    if (const CXMLDocumentPtr document = CXMLDocument::initWithXMLString(QString::fromUtf8(bytes), 0, nullptr))
        walkEveryNode(document);
    return 0;
}

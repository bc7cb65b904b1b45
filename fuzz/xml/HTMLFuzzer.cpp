#include "fuzz/xml/TreeWalk.h"
#include "xml/CXHTMLDocument.h"

#include <cstddef>
#include <cstdint>

// A page from anywhere: the HTML string form (with its re-rooting) and the
// bytes form, then every query on the tree.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    if (const CXHTMLDocumentPtr document = CXHTMLDocument::initWithXHTMLString(QString::fromUtf8(bytes), 0, nullptr)) {
        walkEveryNode(document);
        (void)document->description();
    }
    if (const CXHTMLDocumentPtr document =
            CXHTMLDocument::initWithXHTMLData(bytes, QStringConverter::Latin1, 0, nullptr)) {
        walkEveryNode(document);
        (void)document->XMLData();
    }
    return 0;
}

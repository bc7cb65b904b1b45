#pragma once

// Internal to the XML model: libxml2 set-up, RAII owners of libxml2 objects,
// string conversions and the node-layout rules the wrappers rely on.

#include <QByteArray>
#include <QString>

#include <libxml/HTMLparser.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xpath.h>

#include <memory>

// Initialises libxml2 once per process: xmlInitParser and the guard on
// external entities (see LibXMLSupport.cpp). It runs from the constructor of
// the QCoreApplication (on the main thread, before other threads exist) and,
// as a fallback for programs without one, from the first parse or creation.
// Programs that use libxml2 on several threads without a QCoreApplication call
// it from main() before starting them.
void initialiseLibXML();

// Marks a parser context as one of the model's: the external-entity loader
// then refuses every load for it (no file, no network).
void markParserContext(xmlParserCtxtPtr context);

struct LibXMLDocumentDeleter {
    void operator()(xmlDoc *document) const { xmlFreeDoc(document); }
};
struct LibXMLStringDeleter {
    void operator()(xmlChar *string) const { xmlFree(string); }
};
struct LibXMLXPathContextDeleter {
    void operator()(xmlXPathContext *context) const { xmlXPathFreeContext(context); }
};
struct LibXMLXPathObjectDeleter {
    void operator()(xmlXPathObject *object) const { xmlXPathFreeObject(object); }
};
struct LibXMLParserContextDeleter {
    void operator()(xmlParserCtxt *context) const { xmlFreeParserCtxt(context); }
};
struct LibXMLHTMLParserContextDeleter {
    void operator()(htmlParserCtxt *context) const { htmlFreeParserCtxt(context); }
};
struct LibXMLOutputBufferDeleter {
    void operator()(xmlOutputBuffer *buffer) const { xmlOutputBufferClose(buffer); }
};

using LibXMLDocumentOwner = std::unique_ptr<xmlDoc, LibXMLDocumentDeleter>;
using LibXMLStringOwner = std::unique_ptr<xmlChar, LibXMLStringDeleter>;
using LibXMLXPathContextOwner = std::unique_ptr<xmlXPathContext, LibXMLXPathContextDeleter>;
using LibXMLXPathObjectOwner = std::unique_ptr<xmlXPathObject, LibXMLXPathObjectDeleter>;
using LibXMLParserContextOwner = std::unique_ptr<xmlParserCtxt, LibXMLParserContextDeleter>;
using LibXMLHTMLParserContextOwner = std::unique_ptr<htmlParserCtxt, LibXMLHTMLParserContextDeleter>;
using LibXMLOutputBufferOwner = std::unique_ptr<xmlOutputBuffer, LibXMLOutputBufferDeleter>;

// UTF-8 text of libxml2 as a QString; null stays null.
inline QString qStringFromXML(const xmlChar *text)
{
    return text ? QString::fromUtf8(reinterpret_cast<const char *>(text)) : QString();
}

inline const xmlChar *xmlFromUtf8(const QByteArray &utf8)
{
    return reinterpret_cast<const xmlChar *>(utf8.constData());
}

// The node fields beyond type, name, children, parent, siblings and doc are
// only there for some node types (libxml2 lays out attributes, documents,
// DTDs and declarations differently). These say which.
inline bool hasNamespaceField(const xmlNode *node)
{
    return node->type == XML_ELEMENT_NODE || node->type == XML_ATTRIBUTE_NODE;
}

inline bool hasContentField(const xmlNode *node)
{
    return node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE || node->type == XML_COMMENT_NODE ||
           node->type == XML_PI_NODE;
}

// The children the model shows. Entity references (whose children field
// points into the DTD) and DTD nodes are leaves.
inline xmlNode *modelChildren(const xmlNode *node)
{
    switch (node->type) {
    case XML_ELEMENT_NODE:
    case XML_ATTRIBUTE_NODE:
    case XML_DOCUMENT_NODE:
    case XML_HTML_DOCUMENT_NODE:
    case XML_DOCUMENT_FRAG_NODE:
        return node->children;
    default:
        return nullptr;
    }
}

// Serialises node and its subtree (no indentation, UTF-8) into bytes.
QByteArray dumpNode(xmlNode *node);

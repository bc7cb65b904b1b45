#include "tools/simulator/LibXmlDocument.h"

#include <QFile>

#include <libxml/parser.h>
#include <libxml/xmlerror.h>

namespace {

constexpr int parseOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;

QString fromXmlChars(const xmlChar *chars)
{
    return chars ? QString::fromUtf8(reinterpret_cast<const char *>(chars)) : QString();
}

} // namespace

LibXmlDocument LibXmlDocument::adopt(xmlDoc *doc)
{
    LibXmlDocument result;
    result.document.reset(doc);
    if (!doc) {
        const xmlError *error = xmlGetLastError();
        result.parseError = error && error->message ? QString::fromUtf8(error->message).trimmed()
                                                    : QStringLiteral("not an XML document");
    }
    return result;
}

LibXmlDocument LibXmlDocument::fromBytes(const QByteArray &bytes)
{
    xmlResetLastError();
    return adopt(xmlReadMemory(bytes.constData(), int(bytes.size()), nullptr, nullptr, parseOptions));
}

LibXmlDocument LibXmlDocument::fromFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        LibXmlDocument result;
        result.parseError = file.errorString();
        return result;
    }
    return fromBytes(file.readAll());
}

xmlNode *LibXmlDocument::root() const
{
    return document ? xmlDocGetRootElement(document.get()) : nullptr;
}

QString LibXmlDocument::localName(const xmlNode *node)
{
    return fromXmlChars(node->name);
}

QString LibXmlDocument::namespaceUri(const xmlNode *node)
{
    return node->ns ? fromXmlChars(node->ns->href) : QString();
}

QString LibXmlDocument::text(const xmlNode *node)
{
    xmlChar *content = xmlNodeGetContent(node);
    QString result = fromXmlChars(content);
    xmlFree(content);
    return result.isNull() ? QStringLiteral("") : result;
}

xmlNode *LibXmlDocument::firstElement(xmlNode *node)
{
    xmlNode *child = node ? node->children : nullptr;
    while (child && child->type != XML_ELEMENT_NODE)
        child = child->next;
    return child;
}

xmlNode *LibXmlDocument::nextElement(xmlNode *node)
{
    xmlNode *sibling = node->next;
    while (sibling && sibling->type != XML_ELEMENT_NODE)
        sibling = sibling->next;
    return sibling;
}

bool LibXmlDocument::hasNonBlankText(const xmlNode *node)
{
    for (const xmlNode *child = node->children; child; child = child->next) {
        if ((child->type == XML_TEXT_NODE || child->type == XML_CDATA_SECTION_NODE) && !xmlIsBlankNode(child))
            return true;
    }
    return false;
}

// Operations that build element trees.

#include "xml/CXMLElement.h"

#include "platform/ProgrammingError.h"
#include "xml/CXMLNamespaceNode.h"
#include "xml/LibXMLSupport.h"

namespace {

const QString elementCreationUnit = QStringLiteral("CXMLElement_CreationExtensions");

} // namespace

void CXMLElement::setStringValue(const QString &string)
{
    if (string.isNull())
        throw ProgrammingError(QStringLiteral("CXMLElement setStringValue should not be null"),
                               QString::fromUtf8(__func__), objectDescription(), elementCreationUnit, __LINE__);
    checkNode(__func__);
    const QByteArray utf8 = string.toUtf8();
    xmlNode *text = xmlNewDocText(_node->doc, xmlFromUtf8(utf8));
    if (!text || !xmlAddChild(_node, text)) {
        xmlFreeNode(text);
        throw ProgrammingError(QStringLiteral("xmlAddChild failed"), QString::fromUtf8(__func__), objectDescription(),
                               elementCreationUnit, __LINE__);
    }
}

void CXMLElement::addChild(const CXMLNodePtr &child)
{
    insertChildNode(child, nullptr, __func__, elementCreationUnit);
}

void CXMLElement::addNamespace(const CXMLNamespaceNodePtr &aNamespace)
{
    if (!_node || !aNamespace)
        throw ProgrammingError(QStringLiteral("_node should not be null"), QString::fromUtf8(__func__),
                               objectDescription(), elementCreationUnit, __LINE__);
    const QByteArray prefix = aNamespace->localName().toUtf8();
    const QByteArray uri = aNamespace->stringValue().toUtf8();
    xmlNs *declaration = nullptr;
    for (xmlNs *ns = _node->nsDef; ns; ns = ns->next) {
        const bool samePrefix = prefix.isEmpty() ? (!ns->prefix || !ns->prefix[0])
                                                 : (ns->prefix && xmlStrcmp(ns->prefix, xmlFromUtf8(prefix)) == 0);
        if (!samePrefix)
            continue;
        if (!ns->href || xmlStrcmp(ns->href, xmlFromUtf8(uri)) != 0)
            throw ProgrammingError(QStringLiteral("The prefix is already declared with another URI"),
                                   QString::fromUtf8(__func__), objectDescription(), elementCreationUnit, __LINE__);
        declaration = ns;
        break;
    }
    if (!declaration && prefix != "xmlns")
        declaration = xmlNewNs(_node, xmlFromUtf8(uri), prefix.isEmpty() ? nullptr : xmlFromUtf8(prefix));
    if (!declaration)
        throw ProgrammingError(QStringLiteral("xmlNewNs failed"), QString::fromUtf8(__func__), objectDescription(),
                               elementCreationUnit, __LINE__);
    xmlSetNs(_node, declaration);
}

CXMLElementPtr CXMLElement::subelement(const QString &elementName)
{
    CXMLElementPtr element = elementWithName(elementName);
    addChild(element);
    return element;
}

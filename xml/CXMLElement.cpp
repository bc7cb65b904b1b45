#include "xml/CXMLElement.h"

#include "xml/CXMLNamespaceNode.h"
#include "xml/LibXMLSupport.h"

namespace {

bool sameText(const xmlChar *text, const QByteArray &utf8)
{
    return text && xmlStrcmp(text, xmlFromUtf8(utf8)) == 0;
}

bool hasPrefix(const xmlNs *ns, const QByteArray &prefix)
{
    // An empty prefix names the default namespace, which libxml2 keeps
    // without prefix.
    if (prefix.isEmpty())
        return !ns->prefix || ns->prefix[0] == 0;
    return sameText(ns->prefix, prefix);
}

} // namespace

QString CXMLElement::className() const
{
    return QStringLiteral("CXMLElement");
}

QList<CXMLElementPtr> CXMLElement::elementsForName(const QString &name) const
{
    QList<CXMLElementPtr> result;
    if (!_node)
        return result;
    const QByteArray wanted = name.toUtf8();
    for (xmlNode *child = _node->children; child; child = child->next) {
        if (child->type == XML_ELEMENT_NODE && sameText(child->name, wanted))
            result.append(std::static_pointer_cast<CXMLElement>(nodeWithLibXMLNode(child, false)));
    }
    return result;
}

QList<CXMLElementPtr> CXMLElement::elementsForLocalName(const QString &localName, const QString &URI) const
{
    if (URI.isEmpty())
        return elementsForName(localName);
    QList<CXMLElementPtr> result;
    if (!_node)
        return result;
    const QByteArray wanted = localName.toUtf8();
    const QByteArray wantedURI = URI.toUtf8();
    for (xmlNode *child = _node->children; child; child = child->next) {
        if (child->type == XML_ELEMENT_NODE && sameText(child->name, wanted) && child->ns &&
            sameText(child->ns->href, wantedURI))
            result.append(std::static_pointer_cast<CXMLElement>(nodeWithLibXMLNode(child, false)));
    }
    return result;
}

CXMLNodeList CXMLElement::attributes() const
{
    CXMLNodeList result;
    if (!_node)
        return result;
    for (xmlAttr *attribute = _node->properties; attribute; attribute = attribute->next)
        result.append(nodeWithLibXMLNode(reinterpret_cast<xmlNode *>(attribute), false));
    return result;
}

CXMLNodePtr CXMLElement::attributeForName(const QString &name) const
{
    if (!_node)
        return nullptr;
    const qsizetype colon = name.indexOf(u':');
    const QByteArray local = (colon < 0 ? name : name.mid(colon + 1)).toUtf8();
    const QByteArray prefix = colon < 0 ? QByteArray() : name.left(colon).toUtf8();
    for (xmlAttr *attribute = _node->properties; attribute; attribute = attribute->next) {
        if (!sameText(attribute->name, local))
            continue;
        if (colon < 0 || (attribute->ns && sameText(attribute->ns->prefix, prefix)))
            return nodeWithLibXMLNode(reinterpret_cast<xmlNode *>(attribute), false);
    }
    return nullptr;
}

CXMLNodePtr CXMLElement::attributeForLocalName(const QString &localName, const QString &URI) const
{
    if (URI.isNull())
        return attributeForName(localName);
    if (!_node)
        return nullptr;
    const QByteArray local = localName.toUtf8();
    const QByteArray uri = URI.toUtf8();
    for (xmlAttr *attribute = _node->properties; attribute; attribute = attribute->next) {
        if (sameText(attribute->name, local) && attribute->ns && sameText(attribute->ns->href, uri))
            return nodeWithLibXMLNode(reinterpret_cast<xmlNode *>(attribute), false);
    }
    return nullptr;
}

QList<CXMLNamespaceNodePtr> CXMLElement::namespaces() const
{
    QList<CXMLNamespaceNodePtr> result;
    if (!_node)
        return result;
    const auto self = std::const_pointer_cast<CXMLElement>(std::static_pointer_cast<const CXMLElement>(shared_from_this()));
    for (xmlNs *ns = _node->nsDef; ns; ns = ns->next)
        result.append(CXMLNamespaceNode::initWithPrefix(ns->prefix ? qStringFromXML(ns->prefix) : QStringLiteral(""),
                                                        qStringFromXML(ns->href), self));
    return result;
}

CXMLNamespaceNodePtr CXMLElement::namespaceForPrefix(const QString &prefix) const
{
    if (!_node)
        return nullptr;
    const QByteArray wanted = prefix.toUtf8();
    for (xmlNs *ns = _node->nsDef; ns; ns = ns->next) {
        if (hasPrefix(ns, wanted)) {
            const auto self =
                std::const_pointer_cast<CXMLElement>(std::static_pointer_cast<const CXMLElement>(shared_from_this()));
            return CXMLNamespaceNode::initWithPrefix(ns->prefix ? qStringFromXML(ns->prefix) : QStringLiteral(""),
                                                     qStringFromXML(ns->href), self);
        }
    }
    return nullptr;
}

CXMLNamespaceNodePtr CXMLElement::resolveNamespaceForName(const QString &name) const
{
    const qsizetype colon = name.indexOf(u':');
    return namespaceForPrefix(colon < 0 ? QStringLiteral("") : name.left(colon));
}

QString CXMLElement::resolvePrefixForNamespaceURI(const QString &namespaceURI) const
{
    if (!_node)
        return {};
    const QByteArray wanted = namespaceURI.toUtf8();
    for (xmlNs *ns = _node->nsDef; ns; ns = ns->next) {
        if (sameText(ns->href, wanted))
            return ns->prefix ? qStringFromXML(ns->prefix) : QStringLiteral("");
    }
    return {};
}

CXMLNodePtr CXMLElement::copyWithZone() const
{
    if (!_node)
        return nullptr;
    xmlNode *copy = xmlCopyNode(_node, 1);
    if (!copy)
        return nullptr;
    CXMLNodePtr wrapper(new CXMLElement(copy, true));
    copy->_private = wrapper.get();
    return wrapper;
}

#include "soap/Soap.h"

#include "soap/SoapXmlText.h"

using SoapXmlText::asElement;

namespace {

bool matchesName(const CXMLNodePtr &node, const QString &name, const QString *localName, const QString *uri)
{
    if (node->name() == name)
        return true;
    if (!localName || node->kind() != CXMLNode::ElementKind)
        return false;
    return node->localName() == *localName && node->URI() == *uri;
}

CXMLNodePtr findNamed(const CXMLNodePtr &node, const QString &name, const QString *localName, const QString *uri)
{
    const CXMLNodeList children = node->children();
    for (const CXMLNodePtr &child : children) {
        if (matchesName(child, name, localName, uri))
            return child;
    }
    for (const CXMLNodePtr &child : children) {
        if (CXMLNodePtr found = findNamed(child, name, localName, uri))
            return found;
    }
    return nullptr;
}

} // namespace

CXMLNodePtr Soap::getNode(const CXMLNodePtr &node, const QString &name)
{
    if (!node || name.isNull())
        return nullptr;
    return findNamed(node, name, nullptr, nullptr);
}

CXMLNodePtr Soap::getNode(const CXMLNodePtr &node, const QString &localName, const QString &uri)
{
    if (!node || localName.isNull())
        return nullptr;
    return findNamed(node, localName, &localName, &uri);
}

QString Soap::getNodeValue(const CXMLNodePtr &node, const QString &name)
{
    if (!node || name.isNull())
        return QString();
    if (const CXMLElementPtr element = asElement(node)) {
        if (const CXMLNodePtr attribute = element->attributeForName(name))
            return attribute->stringValue();
    }
    const CXMLNodePtr found = getNode(node, name);
    return found ? found->stringValue() : QString();
}

std::optional<CXMLNodeList> Soap::findNodes(const CXMLNodePtr &node, const QString &xpath)
{
    if (!node)
        return std::nullopt;
    return node->nodesForXPath(xpath, nullptr);
}

CXMLNodePtr Soap::findNode(const CXMLNodePtr &node, const QString &xpath)
{
    const std::optional<CXMLNodeList> nodes = findNodes(node, xpath);
    if (!nodes || nodes->isEmpty())
        return nullptr;
    return nodes->first();
}

#include "xml/CXMLNamespaceNode.h"

#include "xml/CXMLDocument.h"
#include "xml/CXMLElement.h"

CXMLNamespaceNode::CXMLNamespaceNode(const QString &prefix, const QString &URI, const CXMLElementPtr &parentElement)
    : CXMLNode(nullptr, false), _prefix(prefix), _uri(URI), _parent(parentElement)
{
}

CXMLNamespaceNodePtr CXMLNamespaceNode::initWithPrefix(const QString &prefix, const QString &URI,
                                                       const CXMLElementPtr &parentElement)
{
    return CXMLNamespaceNodePtr(new CXMLNamespaceNode(prefix, URI, parentElement));
}

QString CXMLNamespaceNode::className() const
{
    return QStringLiteral("CXMLNamespaceNode");
}

qint32 CXMLNamespaceNode::kind() const
{
    return NamespaceKind;
}

QString CXMLNamespaceNode::name() const
{
    return _prefix.isNull() ? QStringLiteral("") : _prefix;
}

QString CXMLNamespaceNode::localName() const
{
    return name();
}

QString CXMLNamespaceNode::prefix() const
{
    return QStringLiteral("");
}

QString CXMLNamespaceNode::URI() const
{
    return {};
}

QString CXMLNamespaceNode::stringValue() const
{
    return _uri.isNull() ? QStringLiteral("") : _uri;
}

qsizetype CXMLNamespaceNode::index() const
{
    return 0;
}

qsizetype CXMLNamespaceNode::level() const
{
    return _parent ? _parent->level() + 1 : 2;
}

CXMLDocumentPtr CXMLNamespaceNode::rootDocument() const
{
    return _parent ? _parent->rootDocument() : nullptr;
}

CXMLNodePtr CXMLNamespaceNode::parent() const
{
    return _parent;
}

qsizetype CXMLNamespaceNode::childCount() const
{
    return 0;
}

CXMLNodeList CXMLNamespaceNode::children() const
{
    return {};
}

CXMLNodePtr CXMLNamespaceNode::childAtIndex(qsizetype) const
{
    return nullptr;
}

CXMLNodePtr CXMLNamespaceNode::previousSibling() const
{
    return nullptr;
}

CXMLNodePtr CXMLNamespaceNode::nextSibling() const
{
    return nullptr;
}

QString CXMLNamespaceNode::description() const
{
    if (!_prefix.isEmpty())
        return QStringLiteral("xmlns:%1=\"%2\"").arg(_prefix, _uri);
    return QStringLiteral("xmlns=\"%1\"").arg(_uri);
}

QString CXMLNamespaceNode::XMLStringWithOptions(unsigned) const
{
    return description();
}

std::optional<CXMLNodeList> CXMLNamespaceNode::nodesForXPath(const QString &, ErrorRecord *) const
{
    return std::nullopt;
}

std::optional<CXMLNodeList> CXMLNamespaceNode::nodesForXPath(const QString &, const QMap<QString, QString> &,
                                                             ErrorRecord *) const
{
    return std::nullopt;
}

CXMLNodePtr CXMLNamespaceNode::copyWithZone() const
{
    return initWithPrefix(_prefix, _uri, _parent);
}

#include "xml/CXMLNode.h"

#include "platform/ProgrammingError.h"
#include "xml/CXMLDocument.h"
#include "xml/CXMLElement.h"
#include "xml/CXMLNamespaceNode.h"
#include "xml/LibXMLSupport.h"

#include <libxml/xpathInternals.h>

#include <vector>

const QString CXMLNode::XPathErrorDomain = QStringLiteral("TODO_DOMAIN");

namespace {

QString pointerText(const void *pointer)
{
    return QStringLiteral("0x%1").arg(reinterpret_cast<quintptr>(pointer), 0, 16);
}

void ignoreXPathError(void *, xmlError *)
{
}

} // namespace

CXMLNode::CXMLNode(_xmlNode *node, bool freeOnRelease) : _node(node), _freeNodeOnRelease(freeOnRelease)
{
}

CXMLNode::~CXMLNode()
{
    CXMLNode::invalidate();
}

QString CXMLNode::className() const
{
    return QStringLiteral("CXMLNode");
}

void CXMLNode::checkNode(const char *operation) const
{
    if (!_node)
        throw ProgrammingError(QStringLiteral("CXMLNode does not have attached libxml2 _node."),
                               QString::fromUtf8(operation), QStringLiteral("<%1 %2>").arg(className(), pointerText(this)),
                               QStringLiteral("CXMLNode"), __LINE__);
}

qint32 CXMLNode::kind() const
{
    checkNode(__func__);
    return _node->type;
}

QString CXMLNode::name() const
{
    checkNode(__func__);
    if (!_node->name)
        return {};
    const QString local = qStringFromXML(_node->name);
    if (hasNamespaceField(_node) && _node->ns && _node->ns->prefix)
        return qStringFromXML(_node->ns->prefix) + u':' + local;
    return local;
}

QString CXMLNode::localName() const
{
    checkNode(__func__);
    return qStringFromXML(_node->name);
}

QString CXMLNode::prefix() const
{
    if (_node && hasNamespaceField(_node) && _node->ns && _node->ns->prefix)
        return qStringFromXML(_node->ns->prefix);
    return QStringLiteral("");
}

QString CXMLNode::URI() const
{
    if (_node && hasNamespaceField(_node) && _node->ns)
        return qStringFromXML(_node->ns->href);
    return {};
}

QString CXMLNode::stringValue() const
{
    checkNode(__func__);
    switch (_node->type) {
    case XML_ATTRIBUTE_NODE: {
        const xmlNode *first = _node->children;
        if (first && (first->type == XML_TEXT_NODE || first->type == XML_CDATA_SECTION_NODE) && first->content)
            return qStringFromXML(first->content);
        return QStringLiteral("");
    }
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
        return _node->content ? qStringFromXML(_node->content) : QStringLiteral("");
    default:
        break;
    }
    // The text and CDATA descendants in document order, walked without
    // recursion so that deep trees cannot exhaust the stack.
    QByteArray text;
    const xmlNode *current = modelChildren(_node);
    while (current) {
        if ((current->type == XML_TEXT_NODE || current->type == XML_CDATA_SECTION_NODE) && current->content)
            text.append(reinterpret_cast<const char *>(current->content));
        if (const xmlNode *child = modelChildren(current)) {
            current = child;
            continue;
        }
        while (current && !current->next) {
            current = current->parent;
            if (current == _node)
                current = nullptr;
        }
        if (current)
            current = current->next;
    }
    return text.isEmpty() ? QStringLiteral("") : QString::fromUtf8(text);
}

qsizetype CXMLNode::index() const
{
    checkNode(__func__);
    qsizetype count = 0;
    for (const xmlNode *sibling = _node->prev; sibling; sibling = sibling->prev)
        ++count;
    return count;
}

qsizetype CXMLNode::level() const
{
    checkNode(__func__);
    qsizetype count = 0;
    for (const xmlNode *ancestor = _node->parent; ancestor; ancestor = ancestor->parent)
        ++count;
    return count;
}

CXMLDocumentPtr CXMLNode::rootDocument() const
{
    checkNode(__func__);
    xmlDoc *document = _node->doc;
    if (!document || !document->_private)
        return nullptr;
    auto *wrapper = dynamic_cast<CXMLDocument *>(static_cast<CXMLNode *>(document->_private));
    if (!wrapper)
        return nullptr;
    return std::static_pointer_cast<CXMLDocument>(wrapper->weak_from_this().lock());
}

CXMLNodePtr CXMLNode::parent() const
{
    checkNode(__func__);
    return nodeWithLibXMLNode(_node->parent, false);
}

qsizetype CXMLNode::childCount() const
{
    checkNode(__func__);
    if (_node->type == XML_ATTRIBUTE_NODE)
        return 0;
    qsizetype count = 0;
    for (const xmlNode *child = modelChildren(_node); child; child = child->next)
        ++count;
    return count;
}

CXMLNodeList CXMLNode::children() const
{
    checkNode(__func__);
    CXMLNodeList result;
    if (_node->type == XML_ATTRIBUTE_NODE)
        return result;
    for (xmlNode *child = modelChildren(_node); child; child = child->next)
        result.append(nodeWithLibXMLNode(child, false));
    return result;
}

CXMLNodePtr CXMLNode::childAtIndex(qsizetype index) const
{
    checkNode(__func__);
    if (index < 0 || _node->type == XML_ATTRIBUTE_NODE)
        return nullptr;
    xmlNode *child = modelChildren(_node);
    for (; child && index > 0; --index)
        child = child->next;
    return nodeWithLibXMLNode(child, false);
}

CXMLNodePtr CXMLNode::previousSibling() const
{
    checkNode(__func__);
    return nodeWithLibXMLNode(_node->prev, false);
}

CXMLNodePtr CXMLNode::nextSibling() const
{
    checkNode(__func__);
    return nodeWithLibXMLNode(_node->next, false);
}

QString CXMLNode::XMLString() const
{
    return XMLStringWithOptions(0);
}

QString CXMLNode::XMLStringWithOptions(unsigned) const
{
    if (!_node)
        return {};
    return QString::fromUtf8(dumpNode(_node));
}

QString CXMLNode::description() const
{
    checkNode(__func__);
    const QString nodeName = name();
    return QStringLiteral("<%1 %2 [%3] %4 %5>")
        .arg(className(), pointerText(this), pointerText(_node), nodeName.isNull() ? QStringLiteral("(null)") : nodeName,
             XMLString());
}

QString CXMLNode::localNameForName(const QString &name)
{
    const qsizetype colon = name.indexOf(u':');
    return colon < 0 ? name : name.mid(colon + 1);
}

QString CXMLNode::prefixForName(const QString &name)
{
    const qsizetype colon = name.indexOf(u':');
    return colon < 0 ? QStringLiteral("") : name.left(colon);
}

CXMLNamespaceNodePtr CXMLNode::predefinedNamespaceForPrefix(const QString &prefix)
{
    QString uri;
    if (prefix == u"xml")
        uri = QStringLiteral("http://www.w3.org/XML/1998/namespace");
    else if (prefix == u"xs")
        uri = QStringLiteral("http://www.w3.org/2001/XMLSchema");
    else if (prefix == u"xsi")
        uri = QStringLiteral("http://www.w3.org/2001/XMLSchema-instance");
    else if (prefix == u"xmlns")
        uri = QStringLiteral("http://www.w3.org/2000/xmlns/");
    else
        return nullptr;
    return CXMLNamespaceNode::initWithPrefix(prefix, uri, nullptr);
}

std::optional<CXMLNodeList> CXMLNode::nodesForXPath(const QString &xpath, ErrorRecord *error) const
{
    checkNode(__func__);
    return evaluateXPath(xpath, nullptr, error);
}

std::optional<CXMLNodeList> CXMLNode::nodesForXPath(const QString &xpath, const QMap<QString, QString> &namespaceMappings,
                                                    ErrorRecord *error) const
{
    if (!_node)
        ORVANA_PROGRAMMING_ERROR(QStringLiteral("TODO"), QStringLiteral("<%1 %2>").arg(className(), pointerText(this)),
                                 "CXMLNode");
    return evaluateXPath(xpath, &namespaceMappings, error);
}

CXMLNodePtr CXMLNode::nodeForXPath(const QString &xpath, ErrorRecord *error) const
{
    const std::optional<CXMLNodeList> nodes = nodesForXPath(xpath, error);
    if (!nodes || nodes->isEmpty())
        return nullptr;
    return nodes->last();
}

std::optional<CXMLNodeList> CXMLNode::evaluateXPath(const QString &xpath, const QMap<QString, QString> *namespaceMappings,
                                                    ErrorRecord *error) const
{
    xmlDoc *document = (_node->type == XML_DOCUMENT_NODE || _node->type == XML_HTML_DOCUMENT_NODE)
                           ? reinterpret_cast<xmlDoc *>(_node)
                           : _node->doc;
    LibXMLXPathContextOwner context(xmlXPathNewContext(document));
    if (!context) {
        if (error)
            *error = ErrorRecord(XPathErrorDomain, -1);
        return std::nullopt;
    }
    context->node = _node;
    context->error = ignoreXPathError;
    if (namespaceMappings) {
        for (auto mapping = namespaceMappings->cbegin(); mapping != namespaceMappings->cend(); ++mapping) {
            const QByteArray prefix = mapping.key().toUtf8();
            const QByteArray uri = mapping.value().toUtf8();
            xmlXPathRegisterNs(context.get(), xmlFromUtf8(prefix), xmlFromUtf8(uri));
        }
    }
    const QByteArray expression = xpath.toUtf8();
    LibXMLXPathObjectOwner result(xmlXPathEvalExpression(xmlFromUtf8(expression), context.get()));
    if (!result) {
        if (error)
            *error = ErrorRecord(XPathErrorDomain, -1);
        return std::nullopt;
    }
    CXMLNodeList nodes;
    if (result->type == XPATH_NODESET && result->nodesetval) {
        const xmlNodeSet *set = result->nodesetval;
        nodes.reserve(set->nodeNr);
        for (int i = 0; i < set->nodeNr; ++i) {
            if (CXMLNodePtr wrapper = nodeWithLibXMLNode(set->nodeTab[i], false))
                nodes.append(std::move(wrapper));
        }
    }
    return nodes;
}

void CXMLNode::forgetNode()
{
    _node = nullptr;
}

void CXMLNode::invalidateWrappersInSubtree(_xmlNode *root, const CXMLNode *except)
{
    std::vector<xmlNode *> pending{root};
    while (!pending.empty()) {
        xmlNode *node = pending.back();
        pending.pop_back();
        if (auto *wrapper = static_cast<CXMLNode *>(node->_private); wrapper && wrapper != except) {
            node->_private = nullptr;
            wrapper->forgetNode();
        }
        if (node->type == XML_ELEMENT_NODE) {
            for (xmlAttr *attribute = node->properties; attribute; attribute = attribute->next)
                pending.push_back(reinterpret_cast<xmlNode *>(attribute));
        }
        const bool isDocument = node->type == XML_DOCUMENT_NODE || node->type == XML_HTML_DOCUMENT_NODE;
        xmlNode *children = isDocument ? node->children : modelChildren(node);
        for (xmlNode *child = children; child; child = child->next)
            pending.push_back(child);
    }
}

// Operations that build new nodes and trees.

#include "xml/CXMLNode.h"

#include "platform/ProgrammingError.h"
#include "xml/CXMLDocument.h"
#include "xml/CXMLElement.h"
#include "xml/CXMLNamespaceNode.h"
#include "xml/LibXMLSupport.h"

namespace {

const QString creationUnit = QStringLiteral("CXMLNode_CreationExtensions");

[[noreturn]] void creationFailure(const QString &message, const char *operation, const QString &object,
                                  const QString &unit, int line)
{
    throw ProgrammingError(message, QString::fromUtf8(operation), object, unit, line);
}

} // namespace

QString CXMLNode::objectDescription() const
{
    return QStringLiteral("<%1 0x%2>").arg(className()).arg(reinterpret_cast<quintptr>(this), 0, 16);
}

CXMLDocumentPtr CXMLNode::document()
{
    initialiseLibXML();
    xmlDoc *document = xmlNewDoc(reinterpret_cast<const xmlChar *>("1.0"));
    if (!document)
        creationFailure(QStringLiteral("xmlNewDoc failed"), __func__, QStringLiteral("CXMLDocument"), creationUnit,
                        __LINE__);
    CXMLDocumentPtr wrapper(new CXMLDocument(reinterpret_cast<xmlNode *>(document), true));
    wrapper->attachToDocument("CXMLNode_CreationExtensions");
    return wrapper;
}

CXMLDocumentPtr CXMLNode::documentWithRootElement(const CXMLElementPtr &element)
{
    if (!element || !element->_node)
        creationFailure(QStringLiteral("_node should not be null"), __func__,
                        element ? element->objectDescription() : QStringLiteral("(null)"), creationUnit, __LINE__);
    if (element->_node->doc)
        creationFailure(QStringLiteral("Cannot addChild with a node that already is part of a document. Copy it first!"),
                        __func__, element->objectDescription(), creationUnit, __LINE__);
    CXMLDocumentPtr wrapper = document();
    xmlNode *root = element->_node;
    xmlUnlinkNode(root);
    xmlDocSetRootElement(reinterpret_cast<xmlDoc *>(wrapper->_node), root);
    element->_freeNodeOnRelease = false;
    wrapper->noteUnpooledWrappers();
    wrapper->addToNodePool(element);
    return wrapper;
}

CXMLElementPtr CXMLNode::elementWithName(const QString &name)
{
    initialiseLibXML();
    const QByteArray utf8 = name.toUtf8();
    xmlNode *node = name.isEmpty() ? nullptr : xmlNewNode(nullptr, xmlFromUtf8(utf8));
    if (!node)
        creationFailure(QStringLiteral("xmlNewNode failed"), __func__, QStringLiteral("CXMLElement"), creationUnit,
                        __LINE__);
    CXMLElementPtr element(new CXMLElement(node, true));
    node->_private = element.get();
    return element;
}

CXMLElementPtr CXMLNode::elementWithName(const QString &name, const QString &URI)
{
    CXMLElementPtr element = elementWithName(name);
    if (URI.isNull())
        return element;
    const QByteArray uri = URI.toUtf8();
    xmlNs *ns = xmlNewNs(element->_node, xmlFromUtf8(uri), nullptr);
    if (!ns)
        creationFailure(QStringLiteral("xmlNewNs failed"), __func__, element->objectDescription(), creationUnit,
                        __LINE__);
    xmlSetNs(element->_node, ns);
    return element;
}

CXMLElementPtr CXMLNode::elementWithNameAndStringValue(const QString &name, const QString &stringValue)
{
    CXMLElementPtr element = elementWithName(name);
    element->setStringValue(stringValue);
    return element;
}

CXMLNamespaceNodePtr CXMLNode::namespaceWithName(const QString &name, const QString &stringValue)
{
    return CXMLNamespaceNode::initWithPrefix(name, stringValue, nullptr);
}

CXMLNodePtr CXMLNode::processingInstructionWithName(const QString &name, const QString &stringValue)
{
    initialiseLibXML();
    const QByteArray target = name.toUtf8();
    const QByteArray content = stringValue.toUtf8();
    xmlNode *node = name.isEmpty() ? nullptr
                                   : xmlNewPI(xmlFromUtf8(target), stringValue.isNull() ? nullptr : xmlFromUtf8(content));
    if (!node)
        creationFailure(QStringLiteral("xmlNewPI failed"), __func__, QStringLiteral("CXMLNode"), creationUnit,
                        __LINE__);
    CXMLNodePtr wrapper(new CXMLNode(node, true));
    node->_private = wrapper.get();
    return wrapper;
}

void CXMLNode::setStringValue(const QString &string)
{
    checkNode(__func__);
    if (_node->type != XML_TEXT_NODE)
        creationFailure(QStringLiteral("CNode setStringValue only implemented for text nodes"), __func__,
                        objectDescription(), creationUnit, __LINE__);
    const QByteArray utf8 = string.toUtf8();
    xmlNodeSetContent(_node, xmlFromUtf8(utf8));
}

void CXMLNode::insertChildNode(const CXMLNodePtr &child, _xmlNode *before, const char *operation, const QString &unit)
{
    if (!_node || !child || !child->_node)
        creationFailure(QStringLiteral("_node should not be null"), operation, objectDescription(), unit, __LINE__);
    xmlNode *childNode = child->_node;
    if (childNode->doc)
        creationFailure(QStringLiteral("Cannot addChild with a node that already is part of a document. Copy it first!"),
                        operation, objectDescription(), unit, __LINE__);
    for (const xmlNode *ancestor = _node; ancestor; ancestor = ancestor->parent) {
        if (ancestor == childNode)
            creationFailure(QStringLiteral("Cannot addChild with a node that contains this node."), operation,
                            objectDescription(), unit, __LINE__);
    }
    if (childNode->type == XML_ATTRIBUTE_NODE && (_node->type != XML_ELEMENT_NODE || before))
        creationFailure(QStringLiteral("Only an element takes an attribute as child."), operation, objectDescription(),
                        unit, __LINE__);

    // A child taken from a tree outside any document is moved.
    xmlUnlinkNode(childNode);
    if (childNode->type == XML_ATTRIBUTE_NODE) {
        // libxml2 frees an attribute of the same name that the new one replaces.
        xmlAttr *replaced = xmlHasNsProp(_node, childNode->name, childNode->ns ? childNode->ns->href : nullptr);
        if (replaced && reinterpret_cast<xmlNode *>(replaced) != childNode && replaced->type == XML_ATTRIBUTE_NODE)
            invalidateWrappersInSubtree(reinterpret_cast<xmlNode *>(replaced), nullptr);
    }
    // libxml2 merges a text node into an adjacent one and frees it: the
    // back pointer must not be read after that.
    childNode->_private = nullptr;
    xmlNode *added = before ? xmlAddPrevSibling(before, childNode) : xmlAddChild(_node, childNode);
    if (!added) {
        childNode->_private = child.get();
        creationFailure(QStringLiteral("xmlAddChild failed"), operation, objectDescription(), unit, __LINE__);
    }
    child->_freeNodeOnRelease = false;
    if (added != childNode) {
        child->_node = nullptr;
        return;
    }
    childNode->_private = child.get();
    if (xmlDoc *document = _node->doc; document && document->_private) {
        if (auto *documentWrapper = dynamic_cast<CXMLDocument *>(static_cast<CXMLNode *>(document->_private))) {
            documentWrapper->noteUnpooledWrappers();
            documentWrapper->addToNodePool(child);
        }
    }
}

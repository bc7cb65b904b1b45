// The wrapper factory and the attachment of wrappers to libxml2 nodes.

#include "xml/CXMLNode.h"

#include "platform/ProgrammingError.h"
#include "xml/CXHTMLDocument.h"
#include "xml/CXMLDocument.h"
#include "xml/CXMLElement.h"
#include "xml/CXMLNamespaceNode.h"
#include "xml/LibXMLSupport.h"

namespace {

// A namespace declaration in an XPath node set is a copied xmlNs whose next
// field names the element it was found on.
CXMLNodePtr namespaceNodeFromXPath(xmlNode *node)
{
    auto *declaration = reinterpret_cast<xmlNs *>(node);
    auto *owner = reinterpret_cast<xmlNode *>(declaration->next);
    CXMLElementPtr element;
    if (owner && owner->type == XML_ELEMENT_NODE)
        element = std::static_pointer_cast<CXMLElement>(CXMLNode::nodeWithLibXMLNode(owner, false));
    return CXMLNamespaceNode::initWithPrefix(
        declaration->prefix ? qStringFromXML(declaration->prefix) : QStringLiteral(""),
        qStringFromXML(declaration->href), element);
}

} // namespace

// One allocation for the wrapper and its shared count: the wrapper classes'
// constructors are protected, so make_shared builds this subclass.
template <typename Wrapper>
CXMLNodePtr CXMLNode::makeWrapper(_xmlNode *node, bool freeOnDealloc)
{
    struct Shared final : Wrapper {
        Shared(_xmlNode *node, bool freeOnDealloc) : Wrapper(node, freeOnDealloc) {}
    };
    return std::make_shared<Shared>(node, freeOnDealloc);
}

CXMLNodePtr CXMLNode::nodeWithLibXMLNode(_xmlNode *node, bool freeOnDealloc)
{
    if (!node)
        return nullptr;
    // The type field sits at the same place in xmlNs; checked before _private,
    // which an xmlNs has elsewhere.
    if (node->type == XML_NAMESPACE_DECL)
        return namespaceNodeFromXPath(node);
    if (auto *attached = static_cast<CXMLNode *>(node->_private)) {
        if (CXMLNodePtr wrapper = attached->weak_from_this().lock())
            return wrapper;
        return nullptr; // the attached wrapper is being destroyed
    }

    CXMLNodePtr wrapper;
    switch (node->type) {
    case XML_ELEMENT_NODE:
        wrapper = makeWrapper<CXMLElement>(node, freeOnDealloc);
        break;
    case XML_ATTRIBUTE_NODE:
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_ENTITY_REF_NODE:
    case XML_PI_NODE:
    case XML_COMMENT_NODE:
    case XML_DTD_NODE:
        wrapper = makeWrapper<CXMLNode>(node, freeOnDealloc);
        break;
    case XML_DOCUMENT_NODE:
        wrapper.reset(new CXMLDocument(node, freeOnDealloc));
        // Wrappers of its nodes made before this one are not pooled.
        std::static_pointer_cast<CXMLDocument>(wrapper)->noteUnpooledWrappers();
        break;
    case XML_HTML_DOCUMENT_NODE:
        wrapper.reset(new CXHTMLDocument(node, freeOnDealloc));
        std::static_pointer_cast<CXMLDocument>(wrapper)->noteUnpooledWrappers();
        break;
    default:
        ORVANA_PROGRAMMING_ERROR(QStringLiteral("TODO Unhandled type (%1).").arg(node->type),
                                 QStringLiteral("<CXMLNode [0x%1]>").arg(reinterpret_cast<quintptr>(node), 0, 16),
                                 "CXMLNode_PrivateExtensions");
    }

    if (xmlDoc *document = node->doc; document && document->_private && reinterpret_cast<xmlNode *>(document) != node) {
        auto *documentWrapper = dynamic_cast<CXMLDocument *>(static_cast<CXMLNode *>(document->_private));
        if (!documentWrapper)
            ORVANA_PROGRAMMING_ERROR(QStringLiteral("TODO"),
                                     QStringLiteral("<CXMLNode [0x%1]>").arg(reinterpret_cast<quintptr>(node), 0, 16),
                                     "CXMLNode_PrivateExtensions");
        documentWrapper->addToNodePool(wrapper);
    }
    // Recorded even outside a pooled document, so that the wrapper keeps its
    // identity and is invalidated when its tree is freed.
    node->_private = wrapper.get();
    return wrapper;
}

void CXMLNode::invalidate()
{
    if (!_node)
        return;
    xmlNode *node = _node;
    _node = nullptr;
    if (node->_private == this)
        node->_private = nullptr;
    if (_freeNodeOnRelease) {
        invalidateWrappersInSubtree(node, this);
        xmlUnlinkNode(node);
        xmlFreeNode(node);
    }
}

CXMLNodePtr CXMLNode::copyWithZone() const
{
    if (!_node)
        return nullptr;
    xmlNode *copy = nullptr;
    if (_node->type == XML_ATTRIBUTE_NODE) {
        // libxml2 would copy an attribute into its source document; the copy
        // keeps name and value, not the namespace (it has no element on
        // which to declare one).
        LibXMLStringOwner value(xmlNodeGetContent(_node));
        copy = reinterpret_cast<xmlNode *>(xmlNewProp(nullptr, _node->name, value.get()));
    } else {
        copy = xmlCopyNode(_node, 1);
    }
    if (!copy)
        return nullptr;
    CXMLNodePtr wrapper(new CXMLNode(copy, true));
    copy->_private = wrapper.get();
    return wrapper;
}

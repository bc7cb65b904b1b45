#pragma once

#include "platform/ErrorRecord.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

#include <memory>
#include <optional>

// libxml2's node type; the model's headers do not pull in libxml2 itself.
struct _xmlNode;

class CXMLNode;
class CXMLElement;
class CXMLDocument;
class CXMLNamespaceNode;

// Wrappers are shared handles. A handle may outlive the tree it was made for:
// it is then invalidated and its checked operations throw.
using CXMLNodePtr = std::shared_ptr<CXMLNode>;
using CXMLElementPtr = std::shared_ptr<CXMLElement>;
using CXMLDocumentPtr = std::shared_ptr<CXMLDocument>;
using CXMLNamespaceNodePtr = std::shared_ptr<CXMLNamespaceNode>;
using CXMLNodeList = QList<CXMLNodePtr>;

// A wrapper around one libxml2 node: attributes, text, CDATA sections,
// comments, processing instructions, and the base of elements, documents and
// namespace declarations. Every query reads the libxml2 tree when asked.
//
// Identity: a libxml2 node carries a raw back pointer (its _private field) to
// the wrapper attached to it, so asking twice for the same node yields the
// same wrapper. The wrappers of a document's nodes are kept alive by the
// document's nodePool; when a tree is freed every wrapper attached to one of
// its nodes is invalidated first.
//
// Errors: misuse throws ProgrammingError (platform/ProgrammingError.h);
// parse and XPath failures are reported through an ErrorRecord out-parameter
// that may be null. Nothing else throws.
//
// Not thread-safe: a document and all wrappers of its nodes are used by one
// thread at a time. libxml2 is initialised once per process, from the
// constructor of the QCoreApplication (the main thread, before any other
// thread runs) and, in programs without one, at the first parse or creation.
//
// The node's _private field belongs to the model: no other code may use it
// on trees the model wraps.
class CXMLNode : public std::enable_shared_from_this<CXMLNode> {
public:
    // libxml2's node type numbers.
    enum Kind : qint32 {
        ElementKind = 1,
        AttributeKind = 2,
        TextKind = 3,
        CDATASectionKind = 4,
        EntityReferenceKind = 5,
        ProcessingInstructionKind = 7,
        CommentKind = 8,
        DocumentKind = 9,
        HTMLDocumentKind = 13,
        DTDKind = 14,
        NamespaceKind = 18,
    };

    virtual ~CXMLNode();
    CXMLNode(const CXMLNode &) = delete;
    CXMLNode &operator=(const CXMLNode &) = delete;

    // The wrapper factory: the wrapper already attached to node, or a new one
    // of the class its type calls for (element, document, any other node).
    // A new wrapper of a node whose document has a wrapper goes into that
    // document's nodePool. freeOnDealloc: the new wrapper owns (frees) the
    // node. Null for a null node.
    static CXMLNodePtr nodeWithLibXMLNode(_xmlNode *node, bool freeOnDealloc);

    // "soap:Body" -> "Body"; a name without ":" is returned whole.
    static QString localNameForName(const QString &name);
    // "soap:Body" -> "soap"; the empty string for a name without ":".
    static QString prefixForName(const QString &name);
    // Namespace nodes for "xml", "xs", "xsi" and "xmlns"; null for others.
    static CXMLNamespaceNodePtr predefinedNamespaceForPrefix(const QString &prefix);

    // Creation. Elements and processing instructions made here are owned by
    // their wrapper until they are added to a tree (addChild,
    // documentWithRootElement), which then owns them.
    static CXMLDocumentPtr document();
    static CXMLDocumentPtr documentWithRootElement(const CXMLElementPtr &element);
    static CXMLElementPtr elementWithName(const QString &name);
    // The element declares a default namespace with URI and is in it.
    static CXMLElementPtr elementWithName(const QString &name, const QString &URI);
    // elementWithName(name) followed by setStringValue(stringValue).
    static CXMLElementPtr elementWithNameAndStringValue(const QString &name, const QString &stringValue);
    // A namespace declaration of prefix name and URI stringValue, on no element.
    static CXMLNamespaceNodePtr namespaceWithName(const QString &name, const QString &stringValue);
    static CXMLNodePtr processingInstructionWithName(const QString &name, const QString &stringValue);

    // Checked queries: on an invalidated wrapper they throw
    // "CXMLNode does not have attached libxml2 _node.".
    virtual qint32 kind() const;
    // "prefix:local" when the node's namespace has a prefix, else the local
    // name; null when the node has no name.
    virtual QString name() const;
    virtual QString localName() const;
    // Attributes: the content of the first child; text and CDATA: the
    // content; everything else: the children's stringValue concatenated.
    virtual QString stringValue() const;
    virtual qsizetype index() const;
    virtual qsizetype level() const;
    virtual CXMLDocumentPtr rootDocument() const;
    virtual CXMLNodePtr parent() const;
    virtual qsizetype childCount() const;
    virtual CXMLNodeList children() const;
    // Null for an index outside 0..childCount()-1.
    virtual CXMLNodePtr childAtIndex(qsizetype index) const;
    virtual CXMLNodePtr previousSibling() const;
    virtual CXMLNodePtr nextSibling() const;
    // "<CXMLNode 0x... [0x...] name XMLString>"
    virtual QString description() const;

    // Unchecked queries: on an invalidated wrapper they give the empty/null
    // answer instead of throwing.
    // The namespace prefix, "" without a namespace or prefix.
    virtual QString prefix() const;
    // The namespace URI, null without a namespace.
    virtual QString URI() const;
    QString XMLString() const;
    // The node and its subtree as XML text (no declaration, no
    // indentation); options are accepted and ignored.
    virtual QString XMLStringWithOptions(unsigned options) const;

    // Only for text nodes (otherwise a ProgrammingError): replaces the text.
    virtual void setStringValue(const QString &string);

    // XPath 1.0 with this node as the context node. An empty list when
    // nothing matches or the value is not a node set; no value on an
    // evaluation failure, with error ("TODO_DOMAIN", -1) when error is given.
    // A successful evaluation leaves *error untouched.
    virtual std::optional<CXMLNodeList> nodesForXPath(const QString &xpath, ErrorRecord *error) const;
    // The same with prefixes (keys) bound to namespace URIs (values).
    virtual std::optional<CXMLNodeList> nodesForXPath(const QString &xpath, const QMap<QString, QString> &namespaceMappings,
                                                      ErrorRecord *error) const;
    // The last node of nodesForXPath(xpath, error), or null.
    CXMLNodePtr nodeForXPath(const QString &xpath, ErrorRecord *error) const;

    // The libxml2 node, null once invalidated.
    _xmlNode *node() const { return _node; }
    // Detaches the wrapper from its node (freeing the node when owned).
    virtual void invalidate();
    // A deep copy detached from any document, owned by a new wrapper of the
    // same class; null when libxml2 cannot copy that kind of node. A copied
    // attribute keeps its local name and value but no namespace.
    virtual CXMLNodePtr copyWithZone() const;

    // The error domain of XPath evaluation failures.
    static const QString XPathErrorDomain;

protected:
    CXMLNode(_xmlNode *node, bool freeOnRelease);

    virtual QString className() const;
    template <typename Wrapper>
    static CXMLNodePtr makeWrapper(_xmlNode *node, bool freeOnDealloc);
    // Throws the "does not have attached libxml2 _node." error when invalidated.
    void checkNode(const char *operation) const;
    // Forgets the node without freeing it (libxml2 freed or took it).
    void forgetNode();
    // Invalidates every wrapper attached to a node of the subtree at root
    // (attributes included) except this one.
    static void invalidateWrappersInSubtree(_xmlNode *root, const CXMLNode *except);
    // "<CXMLElement 0x...>": names the wrapper without reading its node.
    QString objectDescription() const;
    // Puts child's node into this node's children, before the child node
    // before (appending when null), after checking the preconditions of
    // addChild; the tree then owns it and a document wrapper pools it.
    void insertChildNode(const CXMLNodePtr &child, _xmlNode *before, const char *operation, const QString &unit);
    std::optional<CXMLNodeList> evaluateXPath(const QString &xpath, const QMap<QString, QString> *namespaceMappings,
                                              ErrorRecord *error) const;

    _xmlNode *_node;
    bool _freeNodeOnRelease;
    // The document whose nodePool holds this wrapper.
    const CXMLDocument *m_pool = nullptr;

    friend class CXMLDocument;
    friend class CXMLElement;
};

#pragma once

#include "xml/CXMLNode.h"

// An element node: child elements by name, attributes, the namespaces it
// declares, and the operations that build trees.
class CXMLElement : public CXMLNode {
public:
    // Element children whose local name is name (any prefix), in order;
    // grandchildren are not searched.
    QList<CXMLElementPtr> elementsForName(const QString &name) const;
    // With a null or empty URI: elementsForName(localName); else the element
    // children with that local name in the namespace URI.
    QList<CXMLElementPtr> elementsForLocalName(const QString &localName, const QString &URI) const;

    CXMLNodeList attributes() const;
    // name is "local" (the first attribute of that local name, any
    // namespace) or "prefix:local" (the first of that local name whose
    // namespace has that prefix). Null when nothing matches.
    CXMLNodePtr attributeForName(const QString &name) const;
    // With a null URI: attributeForName(localName); else the first attribute
    // of that local name in the namespace URI, or null.
    CXMLNodePtr attributeForLocalName(const QString &localName, const QString &URI) const;

    // The namespaces declared on this element (not inherited ones), in
    // order, as new namespace nodes; an absent prefix is "".
    QList<CXMLNamespaceNodePtr> namespaces() const;
    // The declaration on this element with that prefix ("" for the default
    // namespace), or null.
    CXMLNamespaceNodePtr namespaceForPrefix(const QString &prefix) const;
    // "p:x": namespaceForPrefix("p"); "x": the default namespace declared
    // on this element; null when there is none.
    CXMLNamespaceNodePtr resolveNamespaceForName(const QString &name) const;
    // The prefix ("" for a default namespace) of the first declaration on
    // this element with that URI, or null.
    QString resolvePrefixForNamespaceURI(const QString &namespaceURI) const;

    // Appends a text node holding string; a null string is a ProgrammingError.
    void setStringValue(const QString &string) override;
    // Appends child's node to this element's children; the tree then owns it.
    // A child already in a document, a null node on either side, or a child
    // that is this element or one of its ancestors is a ProgrammingError.
    // A child that has a parent outside any document is moved.
    void addChild(const CXMLNodePtr &child);
    // Declares aNamespace (its prefix and URI) on this element and puts the
    // element in it.
    void addNamespace(const CXMLNamespaceNodePtr &aNamespace);
    // elementWithName(elementName) added as the last child; returns it.
    CXMLElementPtr subelement(const QString &elementName);

    CXMLNodePtr copyWithZone() const override;

protected:
    using CXMLNode::CXMLNode;
    QString className() const override;

    friend class CXMLNode;
};

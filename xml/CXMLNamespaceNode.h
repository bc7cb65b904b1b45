#pragma once

#include "xml/CXMLNode.h"

// A namespace declaration held as two strings and the element it belongs to
// (a strong reference); it wraps no libxml2 node.
class CXMLNamespaceNode : public CXMLNode {
public:
    static CXMLNamespaceNodePtr initWithPrefix(const QString &prefix, const QString &URI,
                                               const CXMLElementPtr &parentElement);

    qint32 kind() const override;             // 18
    QString name() const override;            // the prefix ("" when absent)
    QString localName() const override;       // the prefix ("" when absent)
    QString prefix() const override;          // always ""
    QString URI() const override;             // always null
    QString stringValue() const override;     // the URI ("" when absent)
    qsizetype index() const override;         // 0
    qsizetype level() const override;         // the element's level + 1, or 2
    CXMLDocumentPtr rootDocument() const override;
    CXMLNodePtr parent() const override;      // the element
    qsizetype childCount() const override;    // 0
    CXMLNodeList children() const override;   // empty
    CXMLNodePtr childAtIndex(qsizetype index) const override;
    CXMLNodePtr previousSibling() const override;
    CXMLNodePtr nextSibling() const override;
    // xmlns:prefix="URI", or xmlns="URI" for an empty prefix.
    QString description() const override;
    QString XMLStringWithOptions(unsigned options) const override;
    std::optional<CXMLNodeList> nodesForXPath(const QString &xpath, ErrorRecord *error) const override;
    std::optional<CXMLNodeList> nodesForXPath(const QString &xpath, const QMap<QString, QString> &namespaceMappings,
                                              ErrorRecord *error) const override;
    CXMLNodePtr copyWithZone() const override;

    // The element the declaration belongs to, or null.
    const CXMLElementPtr &parentElement() const { return _parent; }

protected:
    CXMLNamespaceNode(const QString &prefix, const QString &URI, const CXMLElementPtr &parentElement);
    QString className() const override;

private:
    QString _prefix;
    QString _uri;
    CXMLElementPtr _parent;
};

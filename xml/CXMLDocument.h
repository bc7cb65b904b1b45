#pragma once

#include "xml/CXMLNode.h"

#include <QStringConverter>
#include <QUrl>

#include <vector>

struct _xmlDoc;

// A whole libxml2 document. The wrapper owns the document and frees it when
// it goes; every wrapper of one of its nodes is kept in nodePool until then,
// and is invalidated then.
//
// Construction is by static factories named after the initialisers; each
// returns the document, or null with *error set (when error is given).
// Parsing never loads an external DTD or entity and never uses the network.
// The options arguments are accepted and ignored.
class CXMLDocument : public CXMLNode {
public:
    // Parses the text (as UTF-8, whatever its declaration says). Malformed
    // text fails. Error: "CXMLErrorDomain", 1, libxml2's message or
    // "Unknown error" as localized description.
    static CXMLDocumentPtr initWithXMLString(const QString &XMLString, unsigned options, ErrorRecord *error);
    // initWithData(data, UTF-8, options, error).
    static CXMLDocumentPtr initWithData(const QByteArray &data, unsigned options, ErrorRecord *error);
    // Parses bytes in the given encoding, recovering from errors; empty bytes
    // or a result without a root element fail ("CXMLErrorDomain", 1).
    static CXMLDocumentPtr initWithData(const QByteArray &data, QStringConverter::Encoding encoding, unsigned options,
                                        ErrorRecord *error);
    static CXMLDocumentPtr initWithContentsOfURL(const QUrl &URL, unsigned options, ErrorRecord *error);
    // Reads the whole file of a local (file:) URL and parses it as
    // initWithData does. A URL that cannot be read fails with an error of
    // domain ReadErrorDomain (code: QFileDevice::FileError; other schemes
    // than file: are refused, code QFileDevice::OpenError).
    static CXMLDocumentPtr initWithContentsOfURL(const QUrl &URL, QStringConverter::Encoding encoding, unsigned options,
                                                 ErrorRecord *error);

    ~CXMLDocument() override;

    // The root element's wrapper, or null.
    CXMLElementPtr rootElement() const;
    // The whole document with its XML declaration.
    QByteArray XMLData() const;
    QByteArray XMLDataWithOptions(unsigned options) const;
    // The root element's XMLStringWithOptions (no declaration); null
    // without a root element.
    QString XMLStringWithOptions(unsigned options) const override;
    // "<CXMLDocument 0x... [0x...]> " followed by the indented document.
    QString description() const override;

    // The wrappers of this document's nodes, each once, in the order made.
    const std::vector<CXMLNodePtr> &nodePool() const { return m_nodePool; }

    // Appends child's node at the document's top level and pools the child;
    // the document then owns it. Same preconditions as CXMLElement::addChild.
    void addChild(const CXMLNodePtr &child);
    // Inserts child's node before the top-level node at index (appends at
    // index == childCount(); a larger or negative index is a ProgrammingError).
    void insertChild(const CXMLNodePtr &child, qsizetype index);

    void invalidate() override;
    CXMLNodePtr copyWithZone() const override;

    // "CXMLErrorDomain": parse failures.
    static const QString ErrorDomain;
    // Failures to read the file of initWithContentsOfURL.
    static const QString ReadErrorDomain;
    // The IANA character-set name handed to libxml2 for encoding.
    static QByteArray characterSetName(QStringConverter::Encoding encoding);

protected:
    // A new owning wrapper of class Document for a freshly made libxml2
    // document, attached to it; *error (when given) is set to none.
    template <typename Document>
    static std::shared_ptr<Document> adoptDocument(_xmlDoc *document, const char *unit, ErrorRecord *error)
    {
        std::shared_ptr<Document> wrapper(new Document(reinterpret_cast<_xmlNode *>(document), true));
        wrapper->attachToDocument(unit);
        if (error)
            *error = ErrorRecord();
        return wrapper;
    }
    // Wraps a copy of this document in a wrapper of the same class.
    virtual CXMLDocumentPtr wrapCopy(_xmlDoc *copy) const;
    static CXMLDocumentPtr parse(const QByteArray &bytes, const char *encoding, bool recover, ErrorRecord *error);

    // Takes the libxml2 document, freed by this wrapper when owns is true.
    CXMLDocument(_xmlNode *document, bool owns);
    QString className() const override;
    // Sets the document's back pointer to this wrapper; a document that
    // already has one is a ProgrammingError.
    void attachToDocument(const char *unit);
    void addToNodePool(const CXMLNodePtr &wrapper) const;
    // The parse failure: knownMessage, else libxml2's last error message,
    // else fallbackMessage; resets libxml2's last error.
    static ErrorRecord parseError(const QString &fallbackMessage, qint64 code, const QString &knownMessage = {});

    // Marks that a node with a wrapper made outside this document joined the
    // tree (or the document wrapper came after wrappers of its nodes): such
    // wrappers are not pooled, so teardown then walks the whole tree.
    void noteUnpooledWrappers() const { m_mayHoldUnpooledWrappers = true; }

    mutable std::vector<CXMLNodePtr> m_nodePool;
    mutable bool m_mayHoldUnpooledWrappers = false;

    friend class CXMLNode;
    friend class CXMLElement;
};

#pragma once

#include "xml/CXMLDocument.h"

// A document made by libxml2's HTML parser, for pages that are not
// well-formed XML. Everything else is as for CXMLDocument.
class CXHTMLDocument : public CXMLDocument {
public:
    // Parses the text as UTF-8 HTML. When the page has a /html/body element
    // with children, the body's first child node becomes the document's root
    // in place of the html element (the rest of the page is dropped).
    // Error: "CXMLErrorDomain", 1, libxml2's message or "unknown".
    static std::shared_ptr<CXHTMLDocument> initWithXHTMLString(const QString &string, unsigned options,
                                                               ErrorRecord *error);
    // Parses bytes in the given encoding (no re-rooting, blank text nodes
    // dropped). Empty bytes or a parse failure: "CXMLErrorDomain", -1.
    static std::shared_ptr<CXHTMLDocument> initWithXHTMLData(const QByteArray &data,
                                                             QStringConverter::Encoding encoding, unsigned options,
                                                             ErrorRecord *error);

protected:
    using CXMLDocument::CXMLDocument;
    QString className() const override;
    CXMLDocumentPtr wrapCopy(_xmlDoc *copy) const override;

    friend class CXMLNode;
    friend class CXMLDocument;
};

using CXHTMLDocumentPtr = std::shared_ptr<CXHTMLDocument>;

#pragma once

#include <QByteArray>
#include <QString>

#include <libxml/tree.h>

#include <memory>

// An owned libxml2 document parsed from memory or a file, never from the network.
class LibXmlDocument
{
public:
    static LibXmlDocument fromBytes(const QByteArray &bytes);
    static LibXmlDocument fromFile(const QString &path);

    bool isValid() const { return document != nullptr; }
    xmlNode *root() const;
    // libxml2's message for a failed parse.
    QString error() const { return parseError; }

    static QString localName(const xmlNode *node);
    static QString namespaceUri(const xmlNode *node);
    static QString text(const xmlNode *node);
    static xmlNode *firstElement(xmlNode *node);
    static xmlNode *nextElement(xmlNode *node);
    // Whether the element holds text other than white space.
    static bool hasNonBlankText(const xmlNode *node);

private:
    struct Free
    {
        void operator()(xmlDoc *doc) const { xmlFreeDoc(doc); }
    };
    std::unique_ptr<xmlDoc, Free> document;
    QString parseError;

    static LibXmlDocument adopt(xmlDoc *doc);
};

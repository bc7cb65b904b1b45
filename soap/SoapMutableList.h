#pragma once

#include "xml/CXMLElement.h"

#include <QVariant>
#include <QVariantList>

// The record-like operations of a plain list of values, for code that
// decodes a list without a list type of its own.
class SoapMutableList {
public:
    // A new list from initWithNode.
    static QVariantList createWithNode(const CXMLElementPtr &element);
    // Empties list, then appends Soap::deserialize of every child of element.
    static void initWithNode(QVariantList &list, const CXMLElementPtr &element);
    // The list itself as a value.
    static QVariant object(const QVariantList &list) { return QVariant(list); }
    // Soap::serialize of the list value.
    static QString serialize(const QVariantList &list);
};

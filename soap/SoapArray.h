#pragma once

#include "soap/SoapObject.h"

#include <QList>
#include <QVariant>
#include <QVariantList>

class SoapArray;
using SoapArrayPtr = QSharedPointer<SoapArray>;

// Base of every list type of the web service: a record wrapping an owned
// ordered list of values. Generated list types override initWithNode (one
// item record per child) and provide a static serializeList of their items.
//
// The list members provided are those the generated code and the callers
// use (construction, count, index, enumeration, adding, inserting,
// removing, replacing, searching and the copies); file/URL reading and
// writing, sorting by selector or function, selector broadcasting and
// keyed archiving are left out: nothing here stores lists in files or
// dispatches over their items.
class SoapArray : public SoapObject {
public:
    SoapArray() = default;
    explicit SoapArray(QVariantList items) : m_items(std::move(items)) {}
    ~SoapArray() override;

    QString className() const override;

    // A new plain SoapArray from initWithNode.
    static SoapArrayPtr createWithNode(const CXMLElementPtr &element);
    // Empties the list, then appends Soap::deserialize of every child of
    // element in document order, text nodes included.
    void initWithNode(const CXMLElementPtr &element) override;
    // The class-level list serialisation: Soap::serialize of the list value.
    static QString serializeList(const QVariantList &list);

    // The items.
    QVariant object() const override;
    const QVariantList &items() const { return m_items; }
    QVariantList &items() { return m_items; }
    void setItems(QVariantList items) { m_items = std::move(items); }

    // Class-level constructors: each makes a plain SoapArray.
    static SoapArrayPtr array();
    static SoapArrayPtr arrayWithObject(const QVariant &value);
    static SoapArrayPtr arrayWithObjects(const QVariantList &values);
    static SoapArrayPtr arrayWithArray(const QVariantList &values);
    static SoapArrayPtr arrayWithCapacity(qsizetype capacity);

    // Reading.
    qsizetype count() const { return m_items.size(); }
    const QVariant &objectAtIndex(qsizetype index) const { return m_items.at(index); }
    QVariant lastObject() const { return m_items.isEmpty() ? QVariant() : m_items.last(); }
    bool containsObject(const QVariant &value) const { return m_items.contains(value); }
    // -1 when absent.
    qsizetype indexOfObject(const QVariant &value) const { return m_items.indexOf(value); }
    QVariantList arrayByAddingObject(const QVariant &value) const;
    QVariantList arrayByAddingObjectsFromArray(const QVariantList &values) const;
    QVariantList subarrayWithRange(qsizetype position, qsizetype length) const { return m_items.mid(position, length); }
    bool isEqualToArray(const QVariantList &values) const { return m_items == values; }

    // Enumeration (range-for).
    QVariantList::const_iterator begin() const { return m_items.cbegin(); }
    QVariantList::const_iterator end() const { return m_items.cend(); }

    // Changing.
    void addObject(const QVariant &value) { m_items.append(value); }
    void addObjectsFromArray(const QVariantList &values) { m_items.append(values); }
    void insertObject(const QVariant &value, qsizetype index) { m_items.insert(index, value); }
    void removeLastObject();
    void removeObjectAtIndex(qsizetype index) { m_items.removeAt(index); }
    void replaceObjectAtIndex(qsizetype index, const QVariant &value) { m_items.replace(index, value); }
    void exchangeObjectAtIndex(qsizetype first, qsizetype second) { m_items.swapItemsAt(first, second); }
    void removeAllObjects() { m_items.clear(); }
    void removeObject(const QVariant &value) { m_items.removeAll(value); }
    void setArray(const QVariantList &values) { m_items = values; }

    // Copies: plain lists of the items, not SoapArrays.
    QVariantList copy() const { return m_items; }
    QVariantList mutableCopy() const { return m_items; }

private:
    QVariantList m_items;
};

#include "soap/SoapArray.h"

#include "soap/Soap.h"
#include "soap/SoapMutableList.h"

SoapArray::~SoapArray() = default;

QString SoapArray::className() const
{
    return QStringLiteral("SoapArray");
}

SoapArrayPtr SoapArray::createWithNode(const CXMLElementPtr &element)
{
    SoapArrayPtr list(new SoapArray());
    list->initWithNode(element);
    return list;
}

void SoapArray::initWithNode(const CXMLElementPtr &element)
{
    SoapMutableList::initWithNode(m_items, element);
}

QString SoapArray::serializeList(const QVariantList &list)
{
    return Soap::serialize(QVariant(list));
}

QVariant SoapArray::object() const
{
    return QVariant(m_items);
}

SoapArrayPtr SoapArray::array()
{
    return SoapArrayPtr(new SoapArray());
}

SoapArrayPtr SoapArray::arrayWithObject(const QVariant &value)
{
    return SoapArrayPtr(new SoapArray(QVariantList{value}));
}

SoapArrayPtr SoapArray::arrayWithObjects(const QVariantList &values)
{
    return SoapArrayPtr(new SoapArray(values));
}

SoapArrayPtr SoapArray::arrayWithArray(const QVariantList &values)
{
    return SoapArrayPtr(new SoapArray(values));
}

SoapArrayPtr SoapArray::arrayWithCapacity(qsizetype capacity)
{
    SoapArrayPtr list(new SoapArray());
    list->m_items.reserve(capacity);
    return list;
}

QVariantList SoapArray::arrayByAddingObject(const QVariant &value) const
{
    QVariantList result = m_items;
    result.append(value);
    return result;
}

QVariantList SoapArray::arrayByAddingObjectsFromArray(const QVariantList &values) const
{
    QVariantList result = m_items;
    result.append(values);
    return result;
}

void SoapArray::removeLastObject()
{
    if (!m_items.isEmpty())
        m_items.removeLast();
}

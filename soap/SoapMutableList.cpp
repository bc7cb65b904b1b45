#include "soap/SoapMutableList.h"

#include "soap/Soap.h"

QVariantList SoapMutableList::createWithNode(const CXMLElementPtr &element)
{
    QVariantList list;
    initWithNode(list, element);
    return list;
}

void SoapMutableList::initWithNode(QVariantList &list, const CXMLElementPtr &element)
{
    list.clear();
    if (!element)
        return;
    const CXMLNodeList children = element->children();
    list.reserve(children.size());
    for (const CXMLNodePtr &child : children)
        list.append(Soap::deserialize(child));
}

QString SoapMutableList::serialize(const QVariantList &list)
{
    return Soap::serialize(QVariant(list));
}

#pragma once

#include "xml/CXMLElement.h"
#include "xml/CXMLNode.h"

#include <QString>

// Pieces of XML text shared by the envelope writer, the value coding and the
// node lookups of Soap; not part of the runtime's interface.
namespace SoapXmlText {

inline void appendElement(QString &text, const QString &name, const QString &content)
{
    text.append(u'<');
    text.append(name);
    text.append(u'>');
    text.append(content);
    text.append(QLatin1String("</"));
    text.append(name);
    text.append(u'>');
}

inline void appendNilElement(QString &text, const QString &name)
{
    text.append(u'<');
    text.append(name);
    text.append(QLatin1String(" xsi:nil=\"true\"/>"));
}

inline CXMLElementPtr asElement(const CXMLNodePtr &node)
{
    if (!node || node->kind() != CXMLNode::ElementKind)
        return nullptr;
    return std::dynamic_pointer_cast<CXMLElement>(node);
}

} // namespace SoapXmlText

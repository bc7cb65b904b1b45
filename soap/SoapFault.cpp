#include "soap/SoapFault.h"

#include "soap/Soap.h"

namespace {

QString orNullText(const QString &text)
{
    return text.isNull() ? QStringLiteral("(null)") : text;
}

} // namespace

SoapFault SoapFault::faultWithData(const QByteArray &data)
{
    const CXMLDocumentPtr document = CXMLDocument::initWithData(data, 0, nullptr);
    if (!document)
        return SoapFault();
    return faultWithXMLDocument(document);
}

SoapFault SoapFault::faultWithXMLDocument(const CXMLDocumentPtr &document)
{
    if (!document)
        return SoapFault();
    const CXMLElementPtr root = document->rootElement();
    if (!root)
        return SoapFault();
    const CXMLNodePtr found = Soap::getNode(root, QStringLiteral("Fault"), Soap::envelopeNamespace());
    return faultWithXMLElement(std::dynamic_pointer_cast<CXMLElement>(found));
}

SoapFault SoapFault::faultWithXMLElement(const CXMLElementPtr &element)
{
    SoapFault fault;
    if (!element)
        return fault;
    fault.m_faultCode = Soap::getNodeValue(element, QStringLiteral("faultcode"));
    fault.m_faultString = Soap::getNodeValue(element, QStringLiteral("faultstring"));
    fault.m_faultActor = Soap::getNodeValue(element, QStringLiteral("faultactor"));
    fault.m_detail = Soap::getNodeValue(element, QStringLiteral("detail"));
    fault.m_hasFault = true;
    return fault;
}

QString SoapFault::description() const
{
    if (!m_hasFault)
        return QString();
    return orNullText(m_faultCode) + u' ' + orNullText(m_faultString) + u'\n' + orNullText(m_detail);
}

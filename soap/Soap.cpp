#include "soap/Soap.h"

#include "soap/SoapLiteral.h"
#include "soap/SoapNil.h"
#include "soap/SoapXmlText.h"

using SoapXmlText::appendElement;
using SoapXmlText::appendNilElement;

namespace {

const QString envelopeStart = QStringLiteral(
    "<?xml version=\"1.0\" encoding=\"utf-8\"?><soap:Envelope "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
    "xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" xmlns=\"");

bool isExactlyNil(const QVariant &value)
{
    return value.metaType() == QMetaType::fromType<SoapNil>();
}

} // namespace

QString Soap::prefix()
{
    return QStringLiteral("OVWS");
}

QString Soap::envelopeNamespace()
{
    return QStringLiteral("http://schemas.xmlsoap.org/soap/envelope/");
}

QString Soap::createEnvelope(const QString &method, const QString &serviceNamespace, const QString &body,
                             const QVariantMap &headers)
{
    QString envelope;
    envelope.reserve(envelopeStart.size() + serviceNamespace.size() + body.size() + 2 * method.size() + 64);
    envelope.append(envelopeStart);
    envelope.append(serviceNamespace);
    envelope.append(QLatin1String("\">"));
    if (!headers.isEmpty()) {
        envelope.append(QLatin1String("<soap:Header>"));
        for (auto entry = headers.constBegin(); entry != headers.constEnd(); ++entry) {
            if (isExactlyNil(entry.value()))
                appendNilElement(envelope, entry.key());
            else
                envelope.append(serializeHeader(headers, entry.key()));
        }
        envelope.append(QLatin1String("</soap:Header>"));
    }
    envelope.append(QLatin1String("<soap:Body>"));
    // The body's values were escaped where they were written.
    appendElement(envelope, method, body);
    envelope.append(QLatin1String("</soap:Body></soap:Envelope>"));
    return envelope;
}

QString Soap::createEnvelope(const QString &method, const QString &serviceNamespace,
                             const SoapParameterList &parameters, const QVariantMap &headers)
{
    QString body;
    for (const SoapParameter &parameter : parameters)
        body.append(parameter.xml());
    return createEnvelope(method, serviceNamespace, body, headers);
}

QString Soap::createEnvelope(const QString &method, const QString &serviceNamespace, const QVariantMap &containing,
                             const QVariantMap &headers)
{
    QString body;
    for (auto entry = containing.constBegin(); entry != containing.constEnd(); ++entry) {
        if (isExactlyNil(entry.value()))
            appendNilElement(body, entry.key());
        else
            appendElement(body, entry.key(), serialize(entry.value()));
    }
    return createEnvelope(method, serviceNamespace, body, headers);
}

QString Soap::createEnvelope(const QString &elementName, const QString &action, const QString &serviceNamespace,
                             const SoapObjectPtr &record, const QVariantMap &headers)
{
    QString body;
    appendElement(body, elementName, record ? record->serialize() : QString());
    return createEnvelope(action, serviceNamespace, body, headers);
}

QString Soap::serializeHeader(const QVariantMap &headers, const QString &key)
{
    const QVariant value = headers.value(key);
    if (value.metaType() == QMetaType::fromType<SoapLiteral>())
        return value.value<SoapLiteral>().value();
    if (value.metaType().id() == QMetaType::QVariantMap) {
        const QVariantMap entries = value.toMap();
        QString attributes;
        QString children;
        for (auto entry = entries.constBegin(); entry != entries.constEnd(); ++entry) {
            if (entry.key().startsWith(u'@')) {
                // Attribute values go out as given.
                attributes.append(u' ');
                attributes.append(entry.key().mid(1));
                attributes.append(QLatin1String("=\""));
                const QVariant &attribute = entry.value();
                attributes.append(attribute.metaType().id() == QMetaType::QString ? attribute.toString()
                                                                                   : serialize(attribute));
                attributes.append(u'"');
            } else {
                appendElement(children, entry.key(), serialize(entry.value()));
            }
        }
        QString header;
        header.append(u'<');
        header.append(key);
        header.append(attributes);
        header.append(u'>');
        header.append(children);
        header.append(QLatin1String("</"));
        header.append(key);
        header.append(u'>');
        return header;
    }
    QString header;
    appendElement(header, key, serialize(value));
    return header;
}

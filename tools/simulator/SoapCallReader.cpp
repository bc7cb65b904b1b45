#include "tools/simulator/SoapCallReader.h"

#include "tools/simulator/LibXmlDocument.h"

#include <QJsonObject>
#include <QRegularExpression>

namespace {

const QString soapEnvelopeNamespace = QStringLiteral("http://schemas.xmlsoap.org/soap/envelope/");
const xmlChar instanceNamespace[] = "http://www.w3.org/2001/XMLSchema-instance";

bool isNil(xmlNode *element)
{
    xmlChar *nil = xmlGetNsProp(element, reinterpret_cast<const xmlChar *>("nil"), instanceNamespace);
    const bool result = nil && (xmlStrEqual(nil, reinterpret_cast<const xmlChar *>("true"))
                                || xmlStrEqual(nil, reinterpret_cast<const xmlChar *>("1")));
    xmlFree(nil);
    return result;
}

bool isSoapElement(xmlNode *node, QStringView name)
{
    return node && LibXmlDocument::localName(node) == name && LibXmlDocument::namespaceUri(node) == soapEnvelopeNamespace;
}

QString unquoted(const QByteArray &header)
{
    QString text = QString::fromUtf8(header).trimmed();
    if (text.size() >= 2 && text.startsWith(u'"') && text.endsWith(u'"'))
        text = text.mid(1, text.size() - 2);
    return text;
}

QString checkScalar(OVWSContract::Kind kind, const QString &text)
{
    static const QRegularExpression integer(QStringLiteral("^-?[0-9]+$"));
    if (kind == OVWSContract::Kind::Int) {
        bool fits = false;
        text.toInt(&fits);
        if (!integer.match(text).hasMatch() || !fits)
            return QStringLiteral("\"%1\" is not a 32-bit integer").arg(text);
    } else if (kind == OVWSContract::Kind::Bool) {
        if (text != u"1" && text != u"0" && text != u"true" && text != u"false")
            return QStringLiteral("\"%1\" is not a boolean").arg(text);
    }
    return QString();
}

} // namespace

ReceivedCall SoapCallReader::read(const QByteArray &body, const QByteArray &soapActionHeader)
{
    ReceivedCall call;
    call.soapAction = unquoted(soapActionHeader);
    const LibXmlDocument document = LibXmlDocument::fromBytes(body);
    if (!document.isValid()) {
        call.problem = QStringLiteral("The request is not XML: %1").arg(document.error());
        return call;
    }
    xmlNode *envelope = document.root();
    if (!isSoapElement(envelope, u"Envelope")) {
        call.problem = QStringLiteral("The request is not a SOAP 1.1 envelope");
        return call;
    }
    xmlNode *body_ = LibXmlDocument::firstElement(envelope);
    if (isSoapElement(body_, u"Header"))
        body_ = LibXmlDocument::nextElement(body_);
    if (!isSoapElement(body_, u"Body") || LibXmlDocument::nextElement(body_)) {
        call.problem = QStringLiteral("The envelope has no Body, or more than a Header and a Body");
        return call;
    }
    xmlNode *operationElement = LibXmlDocument::firstElement(body_);
    if (!operationElement || LibXmlDocument::nextElement(operationElement)) {
        call.problem = QStringLiteral("The Body must hold exactly one operation element");
        return call;
    }
    call.operationName = LibXmlDocument::localName(operationElement);
    call.operation = OVWSContract::operation(call.operationName);
    if (!call.operation) {
        call.problem = QStringLiteral("Unknown operation %1").arg(call.operationName);
        return call;
    }
    if (LibXmlDocument::namespaceUri(operationElement) != OVWSContract::serviceNamespace()) {
        call.problem = QStringLiteral("The operation element is not in the service namespace %1")
                           .arg(OVWSContract::serviceNamespace());
        return call;
    }
    const QString problem = readParameters(operationElement, &call);
    if (!problem.isNull()) {
        call.problem = problem;
        return call;
    }
    const QString expectedAction = OVWSContract::soapAction(call.operationName);
    if (call.soapAction != expectedAction)
        call.problem = QStringLiteral("SOAPAction \"%1\" does not match the operation; expected \"%2\"")
                           .arg(call.soapAction, expectedAction);
    return call;
}

QString SoapCallReader::readParameters(xmlNode *operationElement, ReceivedCall *call)
{
    if (LibXmlDocument::hasNonBlankText(operationElement))
        return QStringLiteral("%1 holds text outside its parameters").arg(call->operationName);
    xmlNode *element = LibXmlDocument::firstElement(operationElement);
    for (const OVWSContract::Member &parameter : call->operation->parameters) {
        const QString expected = QLatin1String(parameter.name);
        if (!element)
            return QStringLiteral("%1: parameter %2 is missing").arg(call->operationName, expected);
        const QString name = LibXmlDocument::localName(element);
        if (name != expected)
            return QStringLiteral("%1: found parameter %2 where %3 belongs").arg(call->operationName, name, expected);
        if (LibXmlDocument::namespaceUri(element) != OVWSContract::serviceNamespace())
            return QStringLiteral("%1: parameter %2 is not in the service namespace").arg(call->operationName, name);
        QJsonValue value;
        const QString problem = readValue(element, parameter.kind, parameter.typeName, &value);
        if (!problem.isNull())
            return QStringLiteral("%1: parameter %2: %3").arg(call->operationName, name, problem);
        call->parameters.append(QJsonObject{{QStringLiteral("name"), name}, {QStringLiteral("value"), value}});
        element = LibXmlDocument::nextElement(element);
    }
    if (element)
        return QStringLiteral("%1: unexpected parameter %2")
            .arg(call->operationName, LibXmlDocument::localName(element));
    return QString();
}

QString SoapCallReader::readValue(xmlNode *element, OVWSContract::Kind kind, const char *typeName, QJsonValue *value)
{
    if (isNil(element)) {
        if (kind == OVWSContract::Kind::Int || kind == OVWSContract::Kind::Bool)
            return QStringLiteral("a %1 value may not be nil").arg(QLatin1String(OVWSContract::kindName(kind)));
        *value = QJsonValue::Null;
        return QString();
    }
    if (kind == OVWSContract::Kind::Record)
        return readRecord(element, *OVWSContract::record(QLatin1String(typeName)), value);
    if (kind == OVWSContract::Kind::List)
        return readList(element, *OVWSContract::list(QLatin1String(typeName)), value);
    if (LibXmlDocument::firstElement(element))
        return QStringLiteral("holds elements where text belongs");
    const QString text = LibXmlDocument::text(element);
    *value = text;
    return checkScalar(kind, text);
}

QString SoapCallReader::readRecord(xmlNode *element, const OVWSContract::Record &record, QJsonValue *value)
{
    if (LibXmlDocument::hasNonBlankText(element))
        return QStringLiteral("the %1 holds text outside its fields").arg(QLatin1String(record.elementName));
    QJsonObject fields;
    qsizetype nextField = 0;
    for (xmlNode *child = LibXmlDocument::firstElement(element); child; child = LibXmlDocument::nextElement(child)) {
        const QString name = LibXmlDocument::localName(child);
        qsizetype index = nextField;
        while (index < qsizetype(record.fields.size()) && QLatin1String(record.fields[index].name) != name)
            ++index;
        if (index == qsizetype(record.fields.size()))
            return QStringLiteral("%1 is not a field of %2, or out of order")
                .arg(name, QLatin1String(record.elementName));
        const OVWSContract::Member &field = record.fields[index];
        QJsonValue fieldValue;
        const QString problem = readValue(child, field.kind, field.typeName, &fieldValue);
        if (!problem.isNull())
            return QStringLiteral("%1: %2").arg(name, problem);
        fields.insert(name, fieldValue);
        nextField = index + 1;
    }
    *value = fields;
    return QString();
}

QString SoapCallReader::readList(xmlNode *element, const OVWSContract::List &list, QJsonValue *value)
{
    QJsonArray items;
    const bool ofStrings = !list.itemElement;
    const OVWSContract::Record *itemRecord = ofStrings ? nullptr : OVWSContract::record(QLatin1String(list.itemType));
    if (ofStrings && !LibXmlDocument::firstElement(element)) {
        // The list of strings writes its items without an element around each.
        const QString text = LibXmlDocument::text(element);
        if (!text.isEmpty())
            items.append(text);
        *value = items;
        return QString();
    }
    for (xmlNode *child = LibXmlDocument::firstElement(element); child; child = LibXmlDocument::nextElement(child)) {
        QJsonValue item;
        if (ofStrings) {
            item = LibXmlDocument::text(child);
        } else {
            if (LibXmlDocument::localName(child) != QLatin1String(list.itemElement))
                return QStringLiteral("%1 holds %2 where %3 items belong")
                    .arg(QLatin1String(list.name), LibXmlDocument::localName(child), QLatin1String(list.itemElement));
            const QString problem = readRecord(child, *itemRecord, &item);
            if (!problem.isNull())
                return problem;
        }
        items.append(item);
    }
    *value = items;
    return QString();
}

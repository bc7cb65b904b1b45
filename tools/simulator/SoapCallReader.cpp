#include "tools/simulator/SoapCallReader.h"

#include "xml/CXMLDocument.h"

#include <QJsonObject>
#include <QRegularExpression>
#include <QStringDecoder>

#include <algorithm>

namespace {

const QString soapEnvelopeNamespace = QStringLiteral("http://schemas.xmlsoap.org/soap/envelope/");
const QString instanceNamespace = QStringLiteral("http://www.w3.org/2001/XMLSchema-instance");

// The element children of element, in order.
QList<CXMLElementPtr> childElements(const CXMLElementPtr &element)
{
    QList<CXMLElementPtr> elements;
    for (const CXMLNodePtr &child : element->children()) {
        if (child->kind() == CXMLNode::ElementKind)
            elements.append(std::static_pointer_cast<CXMLElement>(child));
    }
    return elements;
}

// Whether the element holds text other than white space.
bool hasNonBlankText(const CXMLElementPtr &element)
{
    for (const CXMLNodePtr &child : element->children()) {
        if (child->kind() != CXMLNode::TextKind && child->kind() != CXMLNode::CDATASectionKind)
            continue;
        const QString text = child->stringValue();
        if (std::any_of(text.cbegin(), text.cend(), [](QChar character) {
                return character != u' ' && character != u'\t' && character != u'\n' && character != u'\r';
            }))
            return true;
    }
    return false;
}

bool isNil(const CXMLElementPtr &element)
{
    const CXMLNodePtr nil = element->attributeForLocalName(QStringLiteral("nil"), instanceNamespace);
    return nil && (nil->stringValue() == u"true" || nil->stringValue() == u"1");
}

bool isSoapElement(const CXMLElementPtr &element, QStringView name)
{
    return element && element->localName() == name && element->URI() == soapEnvelopeNamespace;
}

// The element's text, "" when it has none.
QString textOf(const CXMLElementPtr &element)
{
    const QString text = element->stringValue();
    return text.isNull() ? QStringLiteral("") : text;
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
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder(body);
    if (decoder.hasError()) {
        call.problem = QStringLiteral("The request is not XML: it is not UTF-8");
        return call;
    }
    ErrorRecord error;
    const CXMLDocumentPtr document = CXMLDocument::initWithXMLString(text, 0, &error);
    if (!document) {
        call.problem = QStringLiteral("The request is not XML: %1").arg(error.localizedDescription());
        return call;
    }
    const CXMLElementPtr envelope = document->rootElement();
    if (!isSoapElement(envelope, u"Envelope")) {
        call.problem = QStringLiteral("The request is not a SOAP 1.1 envelope");
        return call;
    }
    QList<CXMLElementPtr> parts = childElements(envelope);
    if (!parts.isEmpty() && isSoapElement(parts.first(), u"Header"))
        parts.removeFirst();
    if (parts.size() != 1 || !isSoapElement(parts.first(), u"Body")) {
        call.problem = QStringLiteral("The envelope has no Body, or more than a Header and a Body");
        return call;
    }
    const QList<CXMLElementPtr> operations = childElements(parts.first());
    if (operations.size() != 1) {
        call.problem = QStringLiteral("The Body must hold exactly one operation element");
        return call;
    }
    const CXMLElementPtr &operationElement = operations.first();
    call.operationName = operationElement->localName();
    call.operation = OVWSContract::operation(call.operationName);
    if (!call.operation) {
        call.problem = QStringLiteral("Unknown operation %1").arg(call.operationName);
        return call;
    }
    if (operationElement->URI() != OVWSContract::serviceNamespace()) {
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

QString SoapCallReader::readParameters(const CXMLElementPtr &operationElement, ReceivedCall *call)
{
    if (hasNonBlankText(operationElement))
        return QStringLiteral("%1 holds text outside its parameters").arg(call->operationName);
    const QList<CXMLElementPtr> elements = childElements(operationElement);
    qsizetype next = 0;
    for (const OVWSContract::Member &parameter : call->operation->parameters) {
        const QString expected = QLatin1String(parameter.name);
        if (next == elements.size())
            return QStringLiteral("%1: parameter %2 is missing").arg(call->operationName, expected);
        const CXMLElementPtr &element = elements.at(next++);
        const QString name = element->localName();
        if (name != expected)
            return QStringLiteral("%1: found parameter %2 where %3 belongs").arg(call->operationName, name, expected);
        if (element->URI() != OVWSContract::serviceNamespace())
            return QStringLiteral("%1: parameter %2 is not in the service namespace").arg(call->operationName, name);
        QJsonValue value;
        const QString problem = readValue(element, parameter.kind, parameter.typeName, &value);
        if (!problem.isNull())
            return QStringLiteral("%1: parameter %2: %3").arg(call->operationName, name, problem);
        call->parameters.append(QJsonObject{{QStringLiteral("name"), name}, {QStringLiteral("value"), value}});
    }
    if (next < elements.size())
        return QStringLiteral("%1: unexpected parameter %2").arg(call->operationName, elements.at(next)->localName());
    return QString();
}

QString SoapCallReader::readValue(const CXMLElementPtr &element, OVWSContract::Kind kind, const char *typeName,
                                  QJsonValue *value)
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
    if (!childElements(element).isEmpty())
        return QStringLiteral("holds elements where text belongs");
    const QString text = textOf(element);
    *value = text;
    return checkScalar(kind, text);
}

QString SoapCallReader::readRecord(const CXMLElementPtr &element, const OVWSContract::Record &record, QJsonValue *value)
{
    if (hasNonBlankText(element))
        return QStringLiteral("the %1 holds text outside its fields").arg(QLatin1String(record.elementName));
    QJsonObject fields;
    qsizetype nextField = 0;
    for (const CXMLElementPtr &child : childElements(element)) {
        const QString name = child->localName();
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

QString SoapCallReader::readList(const CXMLElementPtr &element, const OVWSContract::List &list, QJsonValue *value)
{
    QJsonArray items;
    const bool ofStrings = !list.itemElement;
    const OVWSContract::Record *itemRecord = ofStrings ? nullptr : OVWSContract::record(QLatin1String(list.itemType));
    const QList<CXMLElementPtr> children = childElements(element);
    if (ofStrings && children.isEmpty()) {
        // The list of strings writes its items without an element around each.
        const QString text = textOf(element);
        if (!text.isEmpty())
            items.append(text);
        *value = items;
        return QString();
    }
    for (const CXMLElementPtr &child : children) {
        QJsonValue item;
        if (ofStrings) {
            item = textOf(child);
        } else {
            if (child->localName() != QLatin1String(list.itemElement))
                return QStringLiteral("%1 holds %2 where %3 items belong")
                    .arg(QLatin1String(list.name), child->localName(), QLatin1String(list.itemElement));
            const QString problem = readRecord(child, *itemRecord, &item);
            if (!problem.isNull())
                return problem;
        }
        items.append(item);
    }
    *value = items;
    return QString();
}

#include "soap/Soap.h"

#include "platform/ErrorRecord.h"
#include "soap/SoapDecimal.h"
#include "soap/SoapFault.h"
#include "soap/SoapLiteral.h"
#include "soap/SoapNil.h"
#include "soap/SoapNumberText.h"
#include "soap/SoapTypeRegistry.h"
#include "soap/SoapXmlText.h"

#include <QHash>

#include <limits>

using SoapNumberText::leadingBoolean;
using SoapNumberText::leadingDouble;
using SoapNumberText::leadingInteger;
using SoapNumberText::shortestText;
using SoapXmlText::appendElement;
using SoapXmlText::asElement;

namespace {

QString listDescription(const QVariantList &list);
QString dictionaryDescription(const QVariantMap &map);

// The textual form of a value that is neither a record, a date nor data.
QString valueText(const QVariant &value)
{
    switch (value.metaType().id()) {
    case QMetaType::UnknownType:
    case QMetaType::Nullptr:
        return QStringLiteral("");
    case QMetaType::QString:
        return Soap::escapeText(value.toString());
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::Short:
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::LongLong:
        return QString::number(value.toLongLong());
    case QMetaType::UChar:
    case QMetaType::UShort:
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        return QString::number(value.toULongLong());
    case QMetaType::Float:
        return shortestText(value.toFloat());
    case QMetaType::Double:
        return shortestText(value.toDouble());
    case QMetaType::QVariantList:
        return listDescription(value.toList());
    case QMetaType::QVariantMap:
        return dictionaryDescription(value.toMap());
    default:
        break;
    }
    const QMetaType type = value.metaType();
    if (type == QMetaType::fromType<SoapDecimal>())
        return value.value<SoapDecimal>().toString();
    if (type == QMetaType::fromType<SoapLiteral>())
        return value.value<SoapLiteral>().value();
    if (type == QMetaType::fromType<SoapNil>())
        return QStringLiteral("");
    if (type == QMetaType::fromType<SoapFault>())
        return Soap::escapeText(value.value<SoapFault>().description());
    if (type == QMetaType::fromType<ErrorRecord>())
        return Soap::escapeText(value.value<ErrorRecord>().localizedDescription());
    if (value.canConvert<QString>())
        return Soap::escapeText(value.toString());
    return QStringLiteral("");
}

QString listDescription(const QVariantList &list)
{
    QString text = QStringLiteral("(");
    for (qsizetype i = 0; i < list.size(); ++i) {
        text.append(i == 0 ? QLatin1String("\n    ") : QLatin1String(",\n    "));
        text.append(Soap::serialize(list.at(i)));
    }
    text.append(list.isEmpty() ? QLatin1String(")") : QLatin1String("\n)"));
    return text;
}

QString dictionaryDescription(const QVariantMap &map)
{
    QString text = QStringLiteral("{");
    for (auto entry = map.constBegin(); entry != map.constEnd(); ++entry) {
        text.append(QLatin1String("\n    "));
        text.append(Soap::escapeText(entry.key()));
        text.append(QLatin1String(" = "));
        text.append(Soap::serialize(entry.value()));
        text.append(u';');
    }
    text.append(map.isEmpty() ? QLatin1String("}") : QLatin1String("\n}"));
    return text;
}

} // namespace

QString Soap::serialize(const QVariant &value)
{
    const QMetaType type = value.metaType();
    if (type == QMetaType::fromType<SoapObjectPtr>()) {
        const SoapObjectPtr record = value.value<SoapObjectPtr>();
        return record ? record->serialize() : QStringLiteral("");
    }
    if (type.id() == QMetaType::QDateTime)
        return getDateString(value.toDateTime());
    if (type.id() == QMetaType::QByteArray)
        return getBase64String(value.toByteArray());
    return valueText(value);
}

QString Soap::serialize(const QVariant &value, const QString &name)
{
    if (value.metaType() == QMetaType::fromType<SoapObjectPtr>()) {
        const SoapObjectPtr record = value.value<SoapObjectPtr>();
        if (record)
            return record->serialize(name);
    }
    QString element;
    appendElement(element, name, serialize(value));
    return element;
}

QVariant Soap::deserialize(const CXMLNodePtr &element)
{
    if (!element)
        return QVariant();
    QString type = getNodeValue(element, QStringLiteral("type"));
    if (type.isEmpty()) {
        if (element->childCount() > 0)
            return deserializeAsDictionary(element);
        return element->stringValue();
    }
    const QString text = element->stringValue();
    const qsizetype colon = type.indexOf(u':');
    if (colon >= 0)
        type = type.mid(colon + 1).toLower();

    if (type == u"string" || type == u"token" || type == u"normalizedstring")
        return text;
    if (type == u"int" || type == u"integer" || type == u"positiveinteger" || type == u"negativeinteger" ||
        type == u"nonpositiveinteger" || type == u"nonnegativeinteger")
        return QVariant(static_cast<qint32>(leadingInteger(text, std::numeric_limits<qint32>::min(),
                                                           std::numeric_limits<qint32>::max())));
    if (type == u"long" || type == u"unsignedlong")
        return QVariant(static_cast<qint64>(leadingInteger(text, std::numeric_limits<qint64>::min(),
                                                           std::numeric_limits<qint64>::max())));
    if (type == u"short" || type == u"unsignedshort" || type == u"byte" || type == u"unsignedbyte") {
        const auto wide = static_cast<qint32>(
            leadingInteger(text, std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max()));
        return QVariant::fromValue(static_cast<qint16>(static_cast<quint16>(static_cast<quint32>(wide) & 0xffffu)));
    }
    if (type == u"float")
        return QVariant(static_cast<float>(leadingDouble(text)));
    if (type == u"double")
        return QVariant(leadingDouble(text));
    if (type == u"decimal")
        return QVariant::fromValue(SoapDecimal::fromFloat(static_cast<float>(leadingDouble(text))));
    if (type == u"boolean")
        return QVariant(leadingBoolean(text));
    if (type == u"date" || type == u"time" || type == u"datetime") {
        const QDateTime date = dateFromString(text);
        return date.isValid() ? QVariant(date) : QVariant();
    }
    if (type == u"base64binary")
        return QVariant(dataFromString(text));

    if (!text.isNull())
        return text;
    const SoapTypeRegistry::CreateWithNode create = SoapTypeRegistry::findCreateWithNode(prefix() + type);
    if (create)
        return SoapObject::box(create(asElement(element)));
    return deserializeAsDictionary(element);
}

QVariant Soap::deserializeAsDictionary(const CXMLNodePtr &element)
{
    if (!element)
        return QVariant();
    const CXMLNodeList children = element->children();
    if (children.size() == 1 && children.first()->kind() == CXMLNode::TextKind)
        return children.first()->stringValue();
    QVariantMap dictionary;
    for (const CXMLNodePtr &child : children)
        dictionary.insert(child->name(), deserialize(child));
    return dictionary;
}

QVariant Soap::convert(const QString &text, const QString &type)
{
    if (text.isNull() || type.isNull())
        return text;
    const QString token = type.toLower();
    if (token == u"nsstring*" || token == u"nsplaceholderstring*")
        return text;
    if (token == u"bool")
        return QVariant(text.toLower() == u"true");
    if (token == u"int")
        return QVariant(static_cast<qint32>(
            leadingInteger(text, std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max())));
    if (token == u"long")
        return QVariant(static_cast<qint64>(
            leadingInteger(text, std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max())));
    if (token == u"double")
        return QVariant(leadingDouble(text));
    if (token == u"float")
        return QVariant(static_cast<float>(leadingDouble(text)));
    if (token == u"nsdecimalnumber*")
        return QVariant::fromValue(SoapDecimal::fromString(text));
    if (token == u"nsdate*") {
        const QDateTime date = dateFromString(text);
        return date.isValid() ? QVariant(date) : QVariant();
    }
    if (token == u"nsdata*")
        return QVariant(dataFromString(text));
    return text;
}

bool Soap::isArray(const QVariant &value)
{
    return value.metaType().id() == QMetaType::QVariantList || value.metaType().id() == QMetaType::QStringList;
}

bool Soap::isObject(const QVariant &value)
{
    return !SoapObject::unbox(value).isNull();
}

bool Soap::isNullValue(const QVariant &value)
{
    switch (value.metaType().id()) {
    case QMetaType::UnknownType:
    case QMetaType::Nullptr:
        return true;
    case QMetaType::QString:
        return value.toString().isNull();
    case QMetaType::QByteArray:
        return value.toByteArray().isNull();
    case QMetaType::QDateTime:
        return !value.toDateTime().isValid();
    default:
        break;
    }
    if (value.metaType() == QMetaType::fromType<SoapObjectPtr>())
        return value.value<SoapObjectPtr>().isNull();
    return value.isNull();
}

QVariant Soap::objectFromXMLString(const QString &xml)
{
    const CXMLDocumentPtr document = CXMLDocument::initWithXMLString(xml, 0, nullptr);
    if (!document)
        return QVariant();
    return objectFromNode(document);
}

QVariant Soap::objectFromNode(const CXMLNodePtr &node)
{
    if (!node)
        return QVariant();
    CXMLNodeList items = node->children();
    if (const CXMLElementPtr element = asElement(node))
        items.append(element->attributes());
    if (items.isEmpty())
        return node->stringValue();
    QVariantMap dictionary;
    QHash<QString, bool> gathered;
    for (const CXMLNodePtr &item : items) {
        const QVariant value = objectFromNode(item);
        if (!value.isValid())
            continue;
        const QString name = item->name();
        const auto existing = dictionary.find(name);
        if (existing == dictionary.end()) {
            dictionary.insert(name, value);
        } else if (gathered.value(name)) {
            QVariantList list = existing->toList();
            list.append(value);
            *existing = list;
        } else {
            *existing = QVariantList{*existing, value};
            gathered.insert(name, true);
        }
    }
    if (dictionary.size() == 1)
        return dictionary.first();
    return dictionary;
}

#include "soap/Soap.h"

#include "platform/ErrorRecord.h"
#include "soap/Base64.h"
#include "soap/SoapDateFormatter.h"
#include "soap/SoapDecimal.h"
#include "soap/SoapFault.h"
#include "soap/SoapLiteral.h"
#include "soap/SoapNil.h"
#include "soap/SoapRequest.h"
#include "soap/SoapTypeRegistry.h"

#include <QCryptographicHash>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace {

const QString envelopeStart = QStringLiteral(
    "<?xml version=\"1.0\" encoding=\"utf-8\"?><soap:Envelope "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
    "xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" xmlns=\"");

void appendElement(QString &text, const QString &name, const QString &content)
{
    text.append(u'<');
    text.append(name);
    text.append(u'>');
    text.append(content);
    text.append(QLatin1String("</"));
    text.append(name);
    text.append(u'>');
}

void appendNilElement(QString &text, const QString &name)
{
    text.append(u'<');
    text.append(name);
    text.append(QLatin1String(" xsi:nil=\"true\"/>"));
}

bool isExactlyNil(const QVariant &value)
{
    return value.metaType() == QMetaType::fromType<SoapNil>();
}

bool isSpace(QChar character)
{
    return character == u' ' || character == u'\t' || character == u'\n' || character == u'\r' ||
           character == u'\v' || character == u'\f';
}

// The leading decimal integer of text (blanks, one sign, digits), saturated
// to [minimum, maximum]; 0 without digits.
qint64 leadingInteger(const QString &text, qint64 minimum, qint64 maximum)
{
    qsizetype position = 0;
    const qsizetype length = text.size();
    while (position < length && isSpace(text.at(position)))
        ++position;
    bool negative = false;
    if (position < length && (text.at(position) == u'+' || text.at(position) == u'-')) {
        negative = text.at(position) == u'-';
        ++position;
    }
    // Accumulate as a negative number so the minimum itself fits.
    qint64 value = 0;
    bool saturated = false;
    while (position < length && text.at(position) >= u'0' && text.at(position) <= u'9') {
        const int digit = text.at(position).unicode() - u'0';
        if (!saturated) {
            if (value < (std::numeric_limits<qint64>::min() + digit) / 10)
                saturated = true;
            else
                value = value * 10 - digit;
        }
        ++position;
    }
    if (saturated)
        return negative ? minimum : maximum;
    if (negative)
        return value < minimum ? minimum : value;
    if (value == std::numeric_limits<qint64>::min())
        return maximum;
    return -value > maximum ? maximum : -value;
}

// The leading floating-point number of text (blanks skipped, a "+" sign
// allowed); 0 when there is none.
double leadingDouble(const QString &text)
{
    qsizetype position = 0;
    while (position < text.size() && isSpace(text.at(position)))
        ++position;
    QByteArray ascii;
    ascii.reserve(text.size() - position);
    for (qsizetype i = position; i < text.size(); ++i) {
        const char16_t character = text.at(i).unicode();
        if (character > 0x7f)
            break;
        ascii.append(static_cast<char>(character));
    }
    const char *begin = ascii.constData();
    const char *end = begin + ascii.size();
    if (begin != end && *begin == '+')
        ++begin;
    double value = 0;
    const auto result = std::from_chars(begin, end, value);
    if (result.ec == std::errc::result_out_of_range) {
        // Too large or too small for a double: infinity or zero, keeping the sign.
        const bool negative = begin != end && *begin == '-';
        const char *mantissa = begin + (negative ? 1 : 0);
        bool tiny = false;
        for (const char *p = mantissa; p != end; ++p) {
            if (*p == 'e' || *p == 'E') {
                tiny = p + 1 != end && p[1] == '-';
                break;
            }
        }
        const double magnitude = tiny ? 0.0 : std::numeric_limits<double>::infinity();
        return negative ? -magnitude : magnitude;
    }
    if (result.ec != std::errc())
        return 0;
    return value;
}

// True when, after blanks, an optional sign and leading zeros, the text
// starts with Y, y, T, t or a digit 1 to 9.
bool leadingBoolean(const QString &text)
{
    qsizetype position = 0;
    while (position < text.size() && isSpace(text.at(position)))
        ++position;
    if (position < text.size() && (text.at(position) == u'+' || text.at(position) == u'-'))
        ++position;
    while (position < text.size() && text.at(position) == u'0')
        ++position;
    if (position >= text.size())
        return false;
    const QChar first = text.at(position);
    return first == u'Y' || first == u'y' || first == u'T' || first == u't' || (first >= u'1' && first <= u'9');
}

template <typename Number>
QString shortestText(Number value)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return QString::fromLatin1(buffer, result.ptr - buffer);
}

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

CXMLElementPtr asElement(const CXMLNodePtr &node)
{
    if (!node || node->kind() != CXMLNode::ElementKind)
        return nullptr;
    return std::dynamic_pointer_cast<CXMLElement>(node);
}

bool matchesName(const CXMLNodePtr &node, const QString &name, const QString *localName, const QString *uri)
{
    if (node->name() == name)
        return true;
    if (!localName || node->kind() != CXMLNode::ElementKind)
        return false;
    return node->localName() == *localName && node->URI() == *uri;
}

CXMLNodePtr findNamed(const CXMLNodePtr &node, const QString &name, const QString *localName, const QString *uri)
{
    const CXMLNodeList children = node->children();
    for (const CXMLNodePtr &child : children) {
        if (matchesName(child, name, localName, uri))
            return child;
    }
    for (const CXMLNodePtr &child : children) {
        if (CXMLNodePtr found = findNamed(child, name, localName, uri))
            return found;
    }
    return nullptr;
}

// "&", "<", ">" as entities, and the quotation mark too when quotes is set.
QString escaped(const QString &text, bool quotes)
{
    const auto needsEntity = [quotes](QChar character) {
        return character == u'&' || character == u'<' || character == u'>' || (quotes && character == u'"');
    };
    if (std::none_of(text.cbegin(), text.cend(), needsEntity))
        return text;
    QString result;
    result.reserve(text.size() + 16);
    for (const QChar character : text) {
        if (character == u'&')
            result.append(QLatin1String("&amp;"));
        else if (character == u'<')
            result.append(QLatin1String("&lt;"));
        else if (character == u'>')
            result.append(QLatin1String("&gt;"));
        else if (quotes && character == u'"')
            result.append(QLatin1String("&quot;"));
        else
            result.append(character);
    }
    return result;
}

// FNV-1a: a stable 64-bit hash of bytes.
quint64 fnv1a(const QByteArray &bytes)
{
    quint64 hash = 14695981039346656037ULL;
    for (const char byte : bytes) {
        hash ^= static_cast<unsigned char>(byte);
        hash *= 1099511628211ULL;
    }
    return hash;
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

CXMLNodePtr Soap::getNode(const CXMLNodePtr &node, const QString &name)
{
    if (!node || name.isNull())
        return nullptr;
    return findNamed(node, name, nullptr, nullptr);
}

CXMLNodePtr Soap::getNode(const CXMLNodePtr &node, const QString &localName, const QString &uri)
{
    if (!node || localName.isNull())
        return nullptr;
    return findNamed(node, localName, &localName, &uri);
}

QString Soap::getNodeValue(const CXMLNodePtr &node, const QString &name)
{
    if (!node || name.isNull())
        return QString();
    if (const CXMLElementPtr element = asElement(node)) {
        if (const CXMLNodePtr attribute = element->attributeForName(name))
            return attribute->stringValue();
    }
    const CXMLNodePtr found = getNode(node, name);
    return found ? found->stringValue() : QString();
}

std::optional<CXMLNodeList> Soap::findNodes(const CXMLNodePtr &node, const QString &xpath)
{
    if (!node)
        return std::nullopt;
    return node->nodesForXPath(xpath, nullptr);
}

CXMLNodePtr Soap::findNode(const CXMLNodePtr &node, const QString &xpath)
{
    const std::optional<CXMLNodeList> nodes = findNodes(node, xpath);
    if (!nodes || nodes->isEmpty())
        return nullptr;
    return nodes->first();
}

const SoapDateFormatter &Soap::dateFormatter()
{
    static const SoapDateFormatter formatter;
    return formatter;
}

QDateTime Soap::dateFromString(const QString &text)
{
    if (text.isNull())
        return QDateTime();
    QString completed = text;
    if (!completed.contains(u'T'))
        completed = completed + QLatin1String("T00:00:00.000");
    if (!completed.contains(u'.'))
        completed = completed + QLatin1String(".000");
    if (completed.isEmpty())
        return QDateTime();
    return dateFormatter().dateFromString(completed);
}

QString Soap::getDateString(const QDateTime &date)
{
    return dateFormatter().stringFromDate(date);
}

QByteArray Soap::dataFromString(const QString &text)
{
    return Base64::initWithBase64EncodedString(text);
}

QString Soap::getBase64String(const QByteArray &data)
{
    return Base64::base64Encoding(data);
}

QString Soap::md5(const QString &text)
{
    QByteArray bytes = text.toUtf8();
    const qsizetype zero = bytes.indexOf('\0');
    if (zero >= 0)
        bytes.truncate(zero);
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex().toUpper());
}

quint64 Soap::generateHash(const SoapObject &record)
{
    return fnv1a(md5(record.serialize()).toUtf8());
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

QString Soap::escapeText(const QString &text)
{
    return escaped(text, false);
}

QString Soap::escapeFieldText(const QString &text)
{
    return escaped(text, true);
}

QByteArray Soap::callService(const QString &url, const QString &data, const QString &action, const char *)
{
    QNetworkAccessManager manager;
    QNetworkRequest request{QUrl(url)};
    request.setTransferTimeout(SoapRequest::DefaultTimeoutMilliseconds);
    request.setRawHeader("SOAPAction", action.toUtf8());
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("text/xml"));
    QNetworkReply *reply = manager.post(request, data.toUtf8());
    QEventLoop loop;
    QByteArray body;
    bool tooLarge = false;
    QObject::connect(reply, &QNetworkReply::readyRead, &loop, [&] {
        body.append(reply->readAll());
        if (body.size() > SoapRequest::DefaultMaximumResponseSize) {
            tooLarge = true;
            reply->abort();
        }
    });
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    body.append(reply->readAll());
    const bool answered = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
    reply->deleteLater();
    if (tooLarge || !answered)
        return QByteArray();
    if (body.isNull())
        body = QByteArray("");
    return body;
}

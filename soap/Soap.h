#pragma once

#include "soap/SoapObject.h"
#include "soap/SoapParameter.h"
#include "xml/CXMLDocument.h"
#include "xml/CXMLElement.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <optional>

class SoapDateFormatter;

// The text work of the SOAP client: request envelopes, request values as XML
// text, response elements back to values, and the date, Base64, MD5 and
// node-lookup helpers. Class-level operations only, defined by theme:
// Soap.cpp (envelopes and headers), SoapValueCoding.cpp (values to text and
// back), SoapNodeLookup.cpp, SoapHelpers.cpp (dates, Base64, MD5, escaping)
// and SoapCallService.cpp (the blocking call).
//
// Values are QVariants: QString; numbers (qint16/32/64, quint16/32/64,
// float, double, bool); SoapDecimal; QDateTime; QByteArray (byte data);
// QVariantList (list); QVariantMap (dictionary, enumerated in key order);
// SoapNil; SoapLiteral; SoapFault; ErrorRecord; and records as
// SoapObjectPtr (SoapObject::box).
//
// Escaping happens once, where a text value is written: serialize of a
// string escapes "&", "<" and ">" (escapeText); record fields use
// escapeFieldText; SoapLiteral header values and the "@" attributes of a
// dictionary header are written untouched. The body is never escaped as a
// whole.
class Soap {
public:
    Soap() = delete;

    // "OVWS": the class-name prefix of every generated record type.
    static QString prefix();
    // The SOAP 1.1 envelope namespace.
    static QString envelopeNamespace();

    // Envelope around a body that is already XML text. An empty headers
    // dictionary writes no header block.
    static QString createEnvelope(const QString &method, const QString &serviceNamespace, const QString &body,
                                  const QVariantMap &headers = {});
    // Envelope around the parameters' xml texts, in order.
    static QString createEnvelope(const QString &method, const QString &serviceNamespace,
                                  const SoapParameterList &parameters, const QVariantMap &headers = {});
    // Envelope around one element per dictionary entry (SoapNil: xsi:nil).
    static QString createEnvelope(const QString &method, const QString &serviceNamespace,
                                  const QVariantMap &containing, const QVariantMap &headers = {});
    // Envelope whose operation element (action) holds elementName holding
    // the record's own serialize text.
    static QString createEnvelope(const QString &elementName, const QString &action, const QString &serviceNamespace,
                                  const SoapObjectPtr &record, const QVariantMap &headers = {});

    // One header entry: a SoapLiteral untouched; a dictionary as an element
    // with "@"-keys as attributes and the other keys as child elements;
    // anything else as <key>serialize(value)</key>.
    static QString serializeHeader(const QVariantMap &headers, const QString &key);

    // XML text of a value's content: a record's serialize(), a date's
    // getDateString, byte data's Base64, else the value's text (strings
    // escaped, booleans "1"/"0", integers in decimal, floats shortest).
    static QString serialize(const QVariant &value);
    // A whole element: a record writes its own element under name; other
    // values are wrapped as <name>serialize(value)</name>.
    static QString serialize(const QVariant &value, const QString &name);

    // A response element back to a value, by its xsi:type (or type child):
    // string, numbers, boolean, decimal, date, Base64 data; untyped
    // elements give their text or a dictionary of their children.
    static QVariant deserialize(const CXMLNodePtr &element);
    // The only text child's text, else a QVariantMap from child name to
    // deserialize of the child (an invalid QVariant for a null value).
    static QVariant deserializeAsDictionary(const CXMLNodePtr &element);
    // Text to a value by a type token ("bool", "int", "long", "double",
    // "float", "NSString*", "NSDecimalNumber*", "NSDate*", "NSData*", ...,
    // case-insensitive); unknown tokens give the text. Null text or token
    // give the text unchanged.
    static QVariant convert(const QString &text, const QString &type);

    static bool isArray(const QVariant &value);
    static bool isObject(const QVariant &value);
    // Whether a value stands for none: invalid, a null pointer, a null
    // QString/QByteArray/record, an invalid date.
    static bool isNullValue(const QVariant &value);

    // First child of node whose name (with prefix) equals name; failing
    // that, the same search in each child in document order (depth-first).
    static CXMLNodePtr getNode(const CXMLNodePtr &node, const QString &name);
    // An element's attribute of that name, else getNode's stringValue; null
    // when node or name is null or nothing is found.
    static QString getNodeValue(const CXMLNodePtr &node, const QString &name);
    // Like getNode, but also matching an element whose local name is
    // localName in namespace uri, whatever its prefix.
    static CXMLNodePtr getNode(const CXMLNodePtr &node, const QString &localName, const QString &uri);
    // XPath over node; none on an evaluation error.
    static std::optional<CXMLNodeList> findNodes(const CXMLNodePtr &node, const QString &xpath);
    // First node of findNodes, or null.
    static CXMLNodePtr findNode(const CXMLNodePtr &node, const QString &xpath);

    static const SoapDateFormatter &dateFormatter();
    // Completes "yyyy-MM-dd" with "T00:00:00.000" and a text without "."
    // with ".000", then reads local time; invalid when it does not fit.
    static QDateTime dateFromString(const QString &text);
    static QString getDateString(const QDateTime &date);
    static QByteArray dataFromString(const QString &text);
    static QString getBase64String(const QByteArray &data);

    // MD5 of the UTF-8 text (up to a first zero byte) as 32 upper-case hex digits.
    static QString md5(const QString &text);
    // A 64-bit hash of the md5 of the record's serialize text.
    static quint64 generateHash(const SoapObject &record);

    // A generic value tree of XML text: texts, dictionaries, and lists for
    // repeated names; invalid when the text does not parse.
    static QVariant objectFromXMLString(const QString &xml);
    static QVariant objectFromNode(const CXMLNodePtr &node);

    // Text value escaping: "&", "<", ">" (XmlText::escapeText).
    static QString escapeText(const QString &text);
    // Record field escaping: "&", "<", ">" and the quotation mark (XmlText::escapeAttribute).
    static QString escapeFieldText(const QString &text);

    // Posts data (Content-Type "text/xml") with the SOAPAction header and
    // waits for the whole response body; null on a transport failure or
    // after the default time-out. delegate is ignored.
    static QByteArray callService(const QString &url, const QString &data, const QString &action,
                                  const char *delegate = nullptr);
};

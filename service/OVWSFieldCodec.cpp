#include "service/OVWSFieldCodec.h"

#include "soap/Soap.h"
#include "xml/CXMLElement.h"

#include <QRegularExpression>

namespace {

void appendElement(QString &out, const QString &name, const QString &content)
{
    out += u'<' + name + u'>' + content + QStringLiteral("</") + name + u'>';
}

} // namespace

CXMLNodePtr OVWSFieldCodec::findField(const CXMLNodePtr &node, const QString &name)
{
    return node ? Soap::getNode(node, name) : CXMLNodePtr();
}

CXMLElementPtr OVWSFieldCodec::findElement(const CXMLNodePtr &node, const QString &name)
{
    return std::dynamic_pointer_cast<CXMLElement>(findField(node, name));
}

QString OVWSFieldCodec::readString(const CXMLNodePtr &node, const QString &name)
{
    return node ? Soap::getNodeValue(node, name) : QString();
}

qint32 OVWSFieldCodec::intFromText(const QString &text)
{
    // The runtime's "int" token reads the leading integer, clamped to 32 bits.
    return text.isNull() ? 0 : Soap::convert(text, QStringLiteral("int")).toInt();
}

bool OVWSFieldCodec::boolFromText(const QString &text)
{
    static const QRegularExpression truth(QStringLiteral("^\\s*[+-]?0*[YyTt1-9]"));
    return truth.match(text).hasMatch();
}

qint32 OVWSFieldCodec::readInt(const CXMLNodePtr &node, const QString &name)
{
    return intFromText(readString(node, name));
}

bool OVWSFieldCodec::readBool(const CXMLNodePtr &node, const QString &name)
{
    return boolFromText(readString(node, name));
}

std::optional<QByteArray> OVWSFieldCodec::readData(const CXMLNodePtr &node, const QString &name)
{
    const QString text = readString(node, name);
    if (text.isNull())
        return std::nullopt;
    return Soap::dataFromString(text);
}

void OVWSFieldCodec::writeString(QString &out, const QString &name, const QString &value)
{
    if (!value.isNull())
        appendElement(out, name, Soap::escapeFieldText(value));
}

void OVWSFieldCodec::writeInt(QString &out, const QString &name, qint32 value)
{
    appendElement(out, name, QString::number(value));
}

void OVWSFieldCodec::writeBool(QString &out, const QString &name, bool value)
{
    appendElement(out, name, value ? QStringLiteral("true") : QStringLiteral("false"));
}

void OVWSFieldCodec::writeData(QString &out, const QString &name, const std::optional<QByteArray> &value)
{
    if (value)
        appendElement(out, name, Soap::getBase64String(*value));
}

void OVWSFieldCodec::writeRecord(QString &out, const QString &name, const SoapObject *record)
{
    if (record)
        out += record->serialize(name);
}

void OVWSFieldCodec::writeList(QString &out, const QString &name, bool empty, const QString &itemsText)
{
    if (empty)
        out += u'<' + name + QStringLiteral("/>");
    else
        appendElement(out, name, itemsText);
}

QString OVWSFieldCodec::recordElement(const QString &name, const QString &attributes, const QString &elements)
{
    return u'<' + name + attributes + u'>' + elements + QStringLiteral("</") + name + u'>';
}

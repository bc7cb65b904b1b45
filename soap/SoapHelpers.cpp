#include "soap/Soap.h"

#include "soap/Base64.h"
#include "soap/SoapDateFormatter.h"
#include "xml/XmlText.h"

#include <QCryptographicHash>

namespace {

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

QString Soap::escapeText(const QString &text)
{
    return XmlText::escapeText(text);
}

QString Soap::escapeFieldText(const QString &text)
{
    return XmlText::escapeAttribute(text);
}

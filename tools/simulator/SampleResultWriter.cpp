#include "tools/simulator/SampleResultWriter.h"

#include "xml/XmlText.h"

#include <QByteArray>

#include <algorithm>

namespace {

// Nested lists stop here: media collections and items hold lists of their own kind.
constexpr int deepestList = 2;

QString element(const QString &name, const QString &content)
{
    return QStringLiteral("<%1>%2</%1>").arg(name, content);
}

} // namespace

QString SampleResultWriter::responseElement(const OVWSContract::Operation &operation) const
{
    const QString name = QLatin1String(operation.name);
    const QString start = QStringLiteral("<%1Response xmlns=\"%2\"").arg(name, OVWSContract::serviceNamespace());
    QString result;
    switch (operation.resultKind) {
    case OVWSContract::ResultKind::None:
        return start + QStringLiteral("/>");
    case OVWSContract::ResultKind::Token:
        result = XmlText::escapeAttribute(tokenText(operation));
        break;
    case OVWSContract::ResultKind::Record:
        result = recordContent(*OVWSContract::record(QLatin1String(operation.result)), 0, 1);
        break;
    case OVWSContract::ResultKind::List:
        result = listContent(*OVWSContract::list(QLatin1String(operation.result)), 0, false);
        break;
    }
    return start + u'>' + element(name + QStringLiteral("Result"), result) + QStringLiteral("</%1Response>").arg(name);
}

QString SampleResultWriter::tokenText(const OVWSContract::Operation &operation) const
{
    const QLatin1String token(operation.result);
    if (token == QLatin1String("NSData"))
        return QString::fromLatin1(QByteArray("Orvana cover image bytes").toBase64());
    if (token == QLatin1String("NSString"))
        return QStringLiteral("\\\\127.0.0.1\\OrvanaMusic");
    return QStringLiteral("42");
}

QString SampleResultWriter::recordContent(const OVWSContract::Record &record, int depth, int index, bool nested) const
{
    QString content;
    int position = 0;
    for (const OVWSContract::Member &field : record.fields)
        content += element(QLatin1String(field.name), fieldContent(field, depth, index, position++, nested));
    return content;
}

QString SampleResultWriter::fieldContent(const OVWSContract::Member &field, int depth, int index, int position,
                                         bool nested) const
{
    switch (field.kind) {
    case OVWSContract::Kind::Int:
        return QString::number(index * 10 + position);
    case OVWSContract::Kind::Bool:
        return (index + position) % 2 ? QStringLiteral("true") : QStringLiteral("false");
    case OVWSContract::Kind::String:
        return XmlText::escapeAttribute(QStringLiteral("%1 %2").arg(QLatin1String(field.name)).arg(index));
    case OVWSContract::Kind::Data:
        return QString::fromLatin1(QByteArray("image ").append(QByteArray::number(index)).toBase64());
    case OVWSContract::Kind::Record:
        return recordContent(*OVWSContract::record(QLatin1String(field.typeName)), depth + 1, index, nested);
    case OVWSContract::Kind::List:
        return listContent(*OVWSContract::list(QLatin1String(field.typeName)), depth + 1, nested);
    }
    return QString();
}

QString SampleResultWriter::listContent(const OVWSContract::List &list, int depth, bool nested) const
{
    if (depth > deepestList)
        return QString();
    QString content;
    const OVWSContract::Record *itemRecord = list.itemElement ? OVWSContract::record(QLatin1String(list.itemType)) : nullptr;
    const int count = nested ? std::min(listItems, 2) : listItems;
    for (int index = 1; index <= count; ++index) {
        if (itemRecord)
            content += element(QLatin1String(list.itemElement), recordContent(*itemRecord, depth, index, true));
        else
            content += element(QStringLiteral("string"), QStringLiteral("image-%1").arg(index));
    }
    return content;
}

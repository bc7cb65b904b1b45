#include "tests/service/RecordSamples.h"

#include <QByteArray>
#include <QList>

namespace recordsamples {

CXMLElementPtr parseElement(const QString &xml)
{
    // A node wrapper lives only as long as its document: keep every parsed one.
    static QList<CXMLDocumentPtr> documents;
    const CXMLDocumentPtr document = CXMLDocument::initWithXMLString(xml, 0, nullptr);
    if (!document)
        return {};
    documents.append(document);
    return document->rootElement();
}

namespace {

QString element(const QString &name, const QString &content)
{
    return QStringLiteral("<%1>%2</%1>").arg(name, content);
}

QString listContent(const OVWSContract::List &list, int depth)
{
    if (!list.itemElement)
        return QStringLiteral("image-1 &amp; more");
    if (depth > 1)
        return QString();
    const OVWSContract::Record *item = OVWSContract::record(QLatin1String(list.itemType));
    // Each item under its record's element name, which is the list's item element.
    return recordWithAllFields(*item, depth + 1) + recordWithAllFields(*item, depth + 2);
}

} // namespace

QString recordWithAllFields(const OVWSContract::Record &record, int depth)
{
    return element(QLatin1String(record.elementName), recordContent(record, depth));
}

QString recordContent(const OVWSContract::Record &record, int depth)
{
    QString content;
    int position = 0;
    for (const OVWSContract::Member &field : record.fields) {
        const QString name = QLatin1String(field.name);
        ++position;
        switch (field.kind) {
        case OVWSContract::Kind::Int:
            content += element(name, QString::number((position % 3 ? 1 : -1) * (position * 1000 + depth)));
            break;
        case OVWSContract::Kind::Bool:
            content += element(name, (position + depth) % 2 ? QStringLiteral("true") : QStringLiteral("false"));
            break;
        case OVWSContract::Kind::String:
            content += element(name, QStringLiteral("%1 &amp; &quot;%2&quot; &lt;%3&gt;").arg(name).arg(depth).arg(position));
            break;
        case OVWSContract::Kind::Data:
            content += element(name, QString::fromLatin1(QByteArray("\x01\x02image\xff").toBase64()));
            break;
        case OVWSContract::Kind::Record:
            content += element(name, recordContent(*OVWSContract::record(QLatin1String(field.typeName)), depth + 1));
            break;
        case OVWSContract::Kind::List: {
            const QString items = listContent(*OVWSContract::list(QLatin1String(field.typeName)), depth);
            content += items.isEmpty() ? QStringLiteral("<%1/>").arg(name) : element(name, items);
            break;
        }
        }
    }
    return content;
}

} // namespace recordsamples

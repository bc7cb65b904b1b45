#include "app/DefaultSettingsResource.h"

#include <QFile>
#include <QXmlStreamReader>

const QString DefaultSettingsResource::ResourcePath = QStringLiteral(":/OrvanaSync/default.plist");

namespace {

// The value element the reader stands on; none for anything but a scalar.
std::optional<QVariant> scalarValue(QXmlStreamReader &reader)
{
    const QStringView name = reader.name();
    if (name == u"true" || name == u"false") {
        const bool flag = name == u"true";
        reader.skipCurrentElement();
        return QVariant(flag);
    }
    const QString text = reader.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement);
    if (reader.hasError())
        return std::nullopt;
    bool ok = false;
    if (name == u"string")
        return QVariant(text);
    if (name == u"integer") {
        const qlonglong number = text.trimmed().toLongLong(&ok);
        return ok ? std::optional<QVariant>(QVariant(number)) : std::nullopt;
    }
    if (name == u"real") {
        const double number = text.trimmed().toDouble(&ok);
        return ok ? std::optional<QVariant>(QVariant(number)) : std::nullopt;
    }
    return std::nullopt;
}

} // namespace

std::optional<QVariantMap> DefaultSettingsResource::parse(const QByteArray &xml)
{
    QXmlStreamReader reader(xml);
    if (!reader.readNextStartElement() || reader.name() != u"plist")
        return std::nullopt;
    if (!reader.readNextStartElement() || reader.name() != u"dict")
        return std::nullopt;
    QVariantMap values;
    while (reader.readNextStartElement()) {
        if (reader.name() != u"key")
            return std::nullopt;
        const QString key = reader.readElementText();
        if (reader.hasError() || !reader.readNextStartElement())
            return std::nullopt;
        const std::optional<QVariant> value = scalarValue(reader);
        if (!value)
            return std::nullopt;
        values.insert(key, *value);
    }
    if (reader.hasError())
        return std::nullopt;
    return values;
}

QVariantMap DefaultSettingsResource::contents()
{
    QFile file(ResourcePath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return parse(file.readAll()).value_or(QVariantMap());
}

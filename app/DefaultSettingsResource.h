#pragma once

#include <QByteArray>
#include <QString>
#include <QVariantMap>

// The program's "default" property list: the values registered as the
// settings store's fallback when there is no legacy settings file.
class DefaultSettingsResource {
public:
    // ":/OrvanaSync/default.plist"
    static const QString ResourcePath;

    // The resource's dictionary; empty when it is missing or unreadable.
    static QVariantMap contents();
    // A property list whose root is a dictionary of strings, booleans,
    // integers and reals (the XML form); none when it is anything else.
    static std::optional<QVariantMap> parse(const QByteArray &xml);
};

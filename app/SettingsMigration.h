#pragma once

#include <QStringList>
#include <QVariantMap>

class SettingsStore;

// Copies the values of the legacy settings file into the settings store,
// key by key. "MusicServerIPAddress" and "SelectByIPAddress" are not
// migrated.
class SettingsMigration {
public:
    // An absent string value clears its key and an absent flag counts as
    // false; a value of the wrong type is skipped and the stored value kept.
    // Answers the keys that were skipped.
    static QStringList migrate(const QVariantMap &legacy, SettingsStore &store);

    // The boolean value of a legacy flag: numbers and booleans as they are,
    // texts true when they begin (after spaces and a sign) with Y, y, T, t or
    // a digit 1 to 9. None for values that have no boolean value.
    static std::optional<bool> booleanValue(const QVariant &value);
};

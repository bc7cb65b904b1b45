#pragma once

#include "platform/ErrorRecord.h"
#include "platform/KeyedCodable.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>

// Reads a keyed archive as written by KeyedArchiver or by any other writer of
// the same format (a binary property list). Strings, numbers, booleans,
// data, dates, arrays, sets (as lists), dictionaries (QVariantMap) and
// mutable strings are built in; every other class needs a registered factory.
//
// Damaged or hostile input (references out of range, cycles, deep nesting,
// absurd sizes, unknown classes) makes unarchive() answer none with an error
// in the domain "com.Orvana.KeyedArchive"; it never crashes and is refused
// quickly.
class KeyedUnarchiver {
public:
    // Builds the object of one archived class; it reads the object's values
    // through the unarchiver it is given (decodeObject etc.). Answering a null
    // pointer refuses the archive.
    using Factory = std::function<KeyedCodablePtr(KeyedUnarchiver &)>;

    static const QString ErrorDomain;
    static constexpr int MaximumDepth = 64;
    static constexpr qsizetype MaximumArchiveSize = 64 * 1024 * 1024;

    KeyedUnarchiver();
    ~KeyedUnarchiver();
    KeyedUnarchiver(const KeyedUnarchiver &) = delete;
    KeyedUnarchiver &operator=(const KeyedUnarchiver &) = delete;

    void registerClass(const QString &className, Factory factory);

    // The root object, or none (and *error set when given).
    std::optional<QVariant> unarchive(const QByteArray &data, ErrorRecord *error = nullptr);

    // For factories: the values of the object being decoded. A missing key
    // gives an invalid QVariant / a null QString / false / 0.
    bool containsValue(const QString &key) const;
    QVariant decodeObject(const QString &key);
    QString decodeString(const QString &key);
    bool decodeBool(const QString &key);
    qint64 decodeInt(const QString &key);
    double decodeDouble(const QString &key);

    // The decoding in progress (internal).
    struct State;

private:
    QHash<QString, Factory> m_factories;
    State *m_state = nullptr;
};

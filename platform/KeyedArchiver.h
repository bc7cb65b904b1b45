#pragma once

#include "platform/KeyedCodable.h"

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <memory>

// Writes a keyed archive: a binary property list with "$version" 100000,
// "$archiver" "NSKeyedArchiver", "$top" {"root": <reference>} and "$objects"
// holding "$null", the objects and their class records ("$classname",
// "$classes").
//
// Values that can be archived (as QVariant): strings, booleans, integers,
// doubles, byte arrays, QVariantList (an array), QVariantMap or QVariantHash
// with string keys (a dictionary in the "NS.keys"/"NS.objects" form), a
// KeyedCodablePtr (a coded object), and an invalid QVariant ("$null").
// Anything else makes archivedData() fail.
class KeyedArchiver {
public:
    KeyedArchiver();
    ~KeyedArchiver();
    KeyedArchiver(const KeyedArchiver &) = delete;
    KeyedArchiver &operator=(const KeyedArchiver &) = delete;

    // The archive of root, or an empty QByteArray (with *error set when given)
    // when root holds something that cannot be archived.
    static QByteArray archivedData(const QVariant &root, QString *error = nullptr);

    // For KeyedCodable::encodeWithCoder: values of the object being encoded.
    void encodeObject(const QVariant &value, const QString &key);
    void encodeString(const QString &value, const QString &key);
    void encodeBool(bool value, const QString &key);
    void encodeInt(qint64 value, const QString &key);
    void encodeDouble(double value, const QString &key);

private:
    struct State;
    std::unique_ptr<State> m_state;
};

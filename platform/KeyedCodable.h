#pragma once

#include <QMetaType>
#include <QString>
#include <QStringList>

#include <memory>

class KeyedArchiver;

// An object that can be stored in a keyed archive: it names its archive
// class (and the chain of classes it derives from, most derived first, ending
// in "NSObject") and encodes its values under keys. Decoding goes through a
// factory registered with the KeyedUnarchiver for the class name.
class KeyedCodable {
public:
    virtual ~KeyedCodable() = default;

    virtual QString archiveClassName() const = 0;
    virtual QStringList archiveClassHierarchy() const = 0;
    virtual void encodeWithCoder(KeyedArchiver &coder) const = 0;
};

using KeyedCodablePtr = std::shared_ptr<KeyedCodable>;

Q_DECLARE_METATYPE(KeyedCodablePtr)

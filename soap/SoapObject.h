#pragma once

#include "xml/CXMLElement.h"

#include <QEnableSharedFromThis>
#include <QMetaType>
#include <QSharedPointer>
#include <QString>
#include <QVariant>

class SoapObject;

// Records travel as shared handles; a QVariant holding a record always holds
// a SoapObjectPtr (the base type), whatever the record's class.
using SoapObjectPtr = QSharedPointer<SoapObject>;

// Base of every record type of the web service. A record decodes itself from
// a response element (initWithNode) and writes itself as XML text
// (serialize). Generated record types override the virtuals, provide a
// static createWithNode(const CXMLElementPtr &) giving null for a null
// element, and
// register themselves with SoapTypeRegistry under their class name.
//
// Records are made on the heap and held by SoapObjectPtr (object() and
// box() rely on it).
class SoapObject : public QEnableSharedFromThis<SoapObject> {
public:
    SoapObject() = default;
    virtual ~SoapObject();

    // The class name the record is registered under ("SoapObject",
    // "SoapArray", "OVWSMediaItem", ...).
    virtual QString className() const;

    // A new base record from initWithNode (never null).
    static SoapObjectPtr createWithNode(const CXMLElementPtr &element);
    // Reads the record's fields from element; the base reads nothing.
    // Overrides call the base first, then read their fields.
    virtual void initWithNode(const CXMLElementPtr &element);

    // The record's element under its own type name; empty for the base.
    virtual QString serialize() const;
    // The record's whole element under the given name; empty for the base.
    virtual QString serialize(const QString &name) const;
    // The child elements' text; empty for the base.
    virtual QString serializeElements() const;
    // The attribute text (each attribute with a leading blank); empty for the base.
    virtual QString serializeAttributes() const;

    // The value this record stands for: the record itself (a SoapArray: its items).
    virtual QVariant object() const;
    // The base compares identity; generated records compare type and serialize text.
    virtual bool isEqual(const QVariant &other) const;
    // Soap::generateHash of the record.
    virtual quint64 hash() const;
    // Soap::serialize of the record, that is its serialize() text.
    QString description() const;

    // A handle to this record (null when it is not held by a SoapObjectPtr).
    SoapObjectPtr self() const;

    // The QVariant form of a record (invalid for a null handle).
    static QVariant box(const SoapObjectPtr &record);
    // The record a QVariant holds, or null.
    static SoapObjectPtr unbox(const QVariant &value);
    template <typename T>
    static QSharedPointer<T> unboxAs(const QVariant &value)
    {
        return unbox(value).template dynamicCast<T>();
    }
};

Q_DECLARE_METATYPE(SoapObjectPtr)

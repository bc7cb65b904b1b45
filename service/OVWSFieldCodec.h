#pragma once

#include "soap/SoapObject.h"
#include "xml/CXMLNode.h"

#include <QByteArray>
#include <QString>

#include <optional>

// Reading and writing of one record field by its kind, shared by every
// generated record and list type. A field is found below node by its element
// name (an attribute of that name also gives a scalar); it is written as one
// element named after the field, with no white space.
class OVWSFieldCodec
{
public:
    OVWSFieldCodec() = delete;

    static QString readString(const CXMLNodePtr &node, const QString &name);
    // Leading white space and one sign skipped, digits up to the first
    // non-digit, clamped to 32 bits; 0 without digits or without the field.
    static qint32 readInt(const CXMLNodePtr &node, const QString &name);
    // True when, after white space, a sign and leading zeros, the text starts
    // with Y, y, T, t or a digit 1 to 9.
    static bool readBool(const CXMLNodePtr &node, const QString &name);
    static std::optional<QByteArray> readData(const CXMLNodePtr &node, const QString &name);
    // The field's node (any kind) or null.
    static CXMLNodePtr findField(const CXMLNodePtr &node, const QString &name);
    // The field's element, or null when absent or not an element.
    static CXMLElementPtr findElement(const CXMLNodePtr &node, const QString &name);

    static qint32 intFromText(const QString &text);
    static bool boolFromText(const QString &text);

    static void writeString(QString &out, const QString &name, const QString &value);
    static void writeInt(QString &out, const QString &name, qint32 value);
    static void writeBool(QString &out, const QString &name, bool value);
    static void writeData(QString &out, const QString &name, const std::optional<QByteArray> &value);
    // Nothing for a null record; else the record's own element under name.
    static void writeRecord(QString &out, const QString &name, const SoapObject *record);
    // <name/> for an empty list, else <name>itemsText</name>.
    static void writeList(QString &out, const QString &name, bool empty, const QString &itemsText);

    // "<name" attributes ">" elements "</name>": a record's whole element.
    static QString recordElement(const QString &name, const QString &attributes, const QString &elements);
};

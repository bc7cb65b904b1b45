#pragma once

#include "soap/SoapObject.h"

#include <QString>
#include <QStringList>

// Record and list types by class name ("OVWSMediaItem"), so that decoding
// can find the class a schema type name stands for (Soap::prefix() + type).
//
// A generated type registers itself once, before the first response is
// decoded, e.g. from a registration function the service proxy calls:
//     SoapTypeRegistry::registerType<OVWSMediaItem>(QStringLiteral("OVWSMediaItem"));
// (a static registration object alone may be dropped by the linker when
// nothing else in its file is referenced).
class SoapTypeRegistry {
public:
    // createWithNode: a record decoded from an element (null for a null element).
    using CreateWithNode = SoapObjectPtr (*)(const CXMLElementPtr &element);
    // create: a fresh record after init, to be initialised later with initWithNode.
    using Create = SoapObjectPtr (*)();

    // A later registration under the same name replaces the earlier one.
    static void registerType(const QString &className, CreateWithNode createWithNode, Create create);

    // T must be default-constructible and have a static createWithNode(const CXMLElementPtr &).
    template <typename T>
    static void registerType(const QString &className)
    {
        registerType(
            className, [](const CXMLElementPtr &element) -> SoapObjectPtr { return T::createWithNode(element); },
            []() -> SoapObjectPtr { return SoapObjectPtr(new T()); });
    }

    static bool contains(const QString &className);
    // Null when the name is not registered.
    static CreateWithNode findCreateWithNode(const QString &className);
    // A fresh record of that class, or null when the name is not registered.
    static SoapObjectPtr create(const QString &className);
    static QStringList registeredNames();
};

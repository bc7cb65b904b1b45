// Decodes arbitrary XML as every record and list type of the service and
// checks that what a record writes decodes back to the same text.
#include "service/OVWSTypeRegistration.h"
#include "soap/SoapTypeRegistry.h"
#include "xml/CXMLDocument.h"
#include "xml/CXMLElement.h"

#include <QByteArray>
#include <QStringList>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QStringList names = [] {
        OVWSTypeRegistration::registerAll();
        QStringList all = SoapTypeRegistry::registeredNames().filter(QStringLiteral("OVWS"));
        return all;
    }();
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const CXMLDocumentPtr document = CXMLDocument::initWithData(bytes, 0, nullptr);
    if (!document || !document->rootElement())
        return 0;
    for (const QString &name : names) {
        const auto createWithNode = SoapTypeRegistry::findCreateWithNode(name);
        const SoapObjectPtr record = createWithNode(document->rootElement());
        if (!record)
            continue;
        const QString text = record->serialize();
        if (text.isEmpty())
            continue; // list types write nothing as records
        const CXMLDocumentPtr again = CXMLDocument::initWithXMLString(text, 0, nullptr);
        if (!again || !again->rootElement())
            std::abort(); // a record wrote text that is not XML
        const SoapObjectPtr decoded = createWithNode(again->rootElement());
        if (!decoded || decoded->serialize() != text)
            std::abort(); // writing is not stable under decoding
    }
    return 0;
}

#include "soap/Soap.h"
#include "soap/SoapArray.h"

#include <cstddef>
#include <cstdint>

// Any bytes as a response document: every decoding path over its root, and
// the decoded values written back out.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const CXMLDocumentPtr document = CXMLDocument::initWithData(bytes, 0, nullptr);
    if (!document)
        return 0;
    const CXMLElementPtr root = document->rootElement();
    const QVariant value = Soap::deserialize(root);
    (void)Soap::serialize(value);
    (void)Soap::serialize(Soap::deserializeAsDictionary(root), QStringLiteral("x"));
    (void)Soap::serialize(Soap::objectFromNode(document));
    const SoapArrayPtr list = SoapArray::createWithNode(root);
    (void)Soap::serialize(list->object());
    const CXMLNodePtr body = Soap::getNode(root, QStringLiteral("Body"), Soap::envelopeNamespace());
    if (body) {
        const CXMLNodePtr response = body->childAtIndex(0);
        const CXMLNodePtr result = response ? response->childAtIndex(0) : nullptr;
        const CXMLNodePtr text = result ? result->childAtIndex(0) : nullptr;
        const QString resultText = text ? text->stringValue() : QString();
        for (const char *token : {"int", "bool", "long", "double", "NSDecimalNumber*", "NSDate*", "NSData*"})
            (void)Soap::serialize(Soap::convert(resultText, QString::fromLatin1(token)));
    }
    (void)Soap::dateFromString(root ? root->stringValue() : QString());
    return 0;
}

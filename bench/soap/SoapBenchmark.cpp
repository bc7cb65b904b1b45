#include "soap/Soap.h"
#include "soap/SoapArray.h"
#include "soap/SoapFault.h"
#include "soap/SoapParameter.h"

#include <benchmark/benchmark.h>

namespace {

const QString serviceNamespace = QStringLiteral("http://orvana.example/WebService/2009/07");

// A media-item-like record with the field kinds of the service's records.
class BenchItem : public SoapObject {
public:
    QString ArtworkID;
    QString MediaID;
    QString Name;
    qint32 Type = 0;
    bool Playable = false;

    static QSharedPointer<BenchItem> createWithNode(const CXMLElementPtr &element)
    {
        if (!element)
            return nullptr;
        QSharedPointer<BenchItem> item(new BenchItem());
        item->initWithNode(element);
        return item;
    }
    void initWithNode(const CXMLElementPtr &element) override
    {
        SoapObject::initWithNode(element);
        ArtworkID = Soap::getNodeValue(element, QStringLiteral("ArtworkID"));
        MediaID = Soap::getNodeValue(element, QStringLiteral("MediaID"));
        Name = Soap::getNodeValue(element, QStringLiteral("Name"));
        Type = Soap::convert(Soap::getNodeValue(element, QStringLiteral("Type")), QStringLiteral("int")).toInt();
        Playable = Soap::getNodeValue(element, QStringLiteral("Playable")) == u"true";
    }
};

class BenchItemList : public SoapArray {
public:
    void initWithNode(const CXMLElementPtr &element) override
    {
        items().clear();
        if (!element)
            return;
        for (const CXMLNodePtr &child : element->children()) {
            if (QSharedPointer<BenchItem> item = BenchItem::createWithNode(std::dynamic_pointer_cast<CXMLElement>(child)))
                addObject(SoapObject::box(item));
        }
    }
};

QByteArray twoHundredItemResponse()
{
    QByteArray body = "<?xml version=\"1.0\" encoding=\"utf-8\"?><s:Envelope "
                      "xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body><GetItemsResponse "
                      "xmlns=\"http://orvana.example/WebService/2009/07\"><GetItemsResult>";
    for (int i = 0; i < 200; ++i) {
        body += "<MediaItem><ArtworkID>art-" + QByteArray::number(i) + "</ArtworkID><MediaID>media-" +
                QByteArray::number(i) + "</MediaID><Name>Track number " + QByteArray::number(i) +
                " &amp; friends</Name><Type>" + QByteArray::number(i % 7) + "</Type><Playable>true</Playable></MediaItem>";
    }
    body += "</GetItemsResult></GetItemsResponse></s:Body></s:Envelope>";
    return body;
}

void BM_EnvelopeWithSixParameters(benchmark::State &state)
{
    for (auto _ : state) {
        const SoapParameterList parameters{
            SoapParameter(QVariant(qint32(3)), QStringLiteral("ZoneID")),
            SoapParameter(QVariant(QStringLiteral("collection:Music/Albums")), QStringLiteral("CollectionID")),
            SoapParameter(QVariant(qint32(0)), QStringLiteral("StartIndex")),
            SoapParameter(QVariant(qint32(200)), QStringLiteral("MaxItems")),
            SoapParameter(QVariant(QStringLiteral("Simon & Garfunkel")), QStringLiteral("SearchText")),
            SoapParameter(QVariant(true), QStringLiteral("IncludeAttributes"))};
        QString envelope = Soap::createEnvelope(QStringLiteral("SearchMediaCollection"), serviceNamespace, parameters);
        benchmark::DoNotOptimize(envelope);
    }
}
BENCHMARK(BM_EnvelopeWithSixParameters);

// The reference for the decoding figures: libxml2's parse alone.
void BM_ParseTwoHundredItemResponse(benchmark::State &state)
{
    const QByteArray body = twoHundredItemResponse();
    for (auto _ : state) {
        CXMLDocumentPtr document = CXMLDocument::initWithData(body, 0, nullptr);
        benchmark::DoNotOptimize(document);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * body.size());
}
BENCHMARK(BM_ParseTwoHundredItemResponse);

// What a response goes through: parse, fault check, Body, Result, 200 records.
void BM_DecodeTwoHundredItemResponse(benchmark::State &state)
{
    const QByteArray body = twoHundredItemResponse();
    for (auto _ : state) {
        CXMLDocumentPtr document = CXMLDocument::initWithData(body, 0, nullptr);
        const SoapFault fault = SoapFault::faultWithXMLDocument(document);
        benchmark::DoNotOptimize(fault);
        const CXMLNodePtr bodyElement =
            Soap::getNode(document->rootElement(), QStringLiteral("Body"), Soap::envelopeNamespace());
        const CXMLNodePtr response = bodyElement->childAtIndex(0);
        QSharedPointer<BenchItemList> list(new BenchItemList());
        list->initWithNode(std::dynamic_pointer_cast<CXMLElement>(response->childAtIndex(0)));
        if (list->count() != 200)
            state.SkipWithError("wrong item count");
        benchmark::DoNotOptimize(list);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 200);
}
BENCHMARK(BM_DecodeTwoHundredItemResponse);

// Untyped decoding of the same response into dictionaries.
void BM_DeserializeTwoHundredItemResponse(benchmark::State &state)
{
    const QByteArray body = twoHundredItemResponse();
    for (auto _ : state) {
        CXMLDocumentPtr document = CXMLDocument::initWithData(body, 0, nullptr);
        const CXMLNodePtr bodyElement =
            Soap::getNode(document->rootElement(), QStringLiteral("Body"), Soap::envelopeNamespace());
        QVariant value = Soap::deserialize(bodyElement->childAtIndex(0));
        benchmark::DoNotOptimize(value);
    }
}
BENCHMARK(BM_DeserializeTwoHundredItemResponse);

} // namespace

BENCHMARK_MAIN();

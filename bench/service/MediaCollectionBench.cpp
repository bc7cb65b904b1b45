#include "service/OVWSContract.h"
#include "service/OVWSMediaCollection.h"
#include "service/OVWSMediaItem.h"
#include "soap/Soap.h"
#include "xml/CXMLDocument.h"
#include "xml/CXMLElement.h"

#include <benchmark/benchmark.h>

namespace {

// A GetMediaCollection response as the server writes it: one collection
// holding 200 media items with two attributes each.
QByteArray mediaCollectionResponse(int items)
{
    QString content;
    for (int i = 0; i < items; ++i) {
        content += QStringLiteral("<MediaItem><ArtworkID>art-%1</ArtworkID><Attributes>"
                                  "<KeyValueElem><Key>Artist</Key><Value>Artist %1 &amp; Band</Value></KeyValueElem>"
                                  "<KeyValueElem><Key>Album</Key><Value>Album %1</Value></KeyValueElem></Attributes>"
                                  "<MediaID>{%1-0000}</MediaID><Name>Song number %1</Name><Type>2</Type></MediaItem>")
                       .arg(i);
    }
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?><s:Envelope "
                          "xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body><GetMediaCollectionResponse "
                          "xmlns=\"%1\"><GetMediaCollectionResult><AllowAddToQueue>true</AllowAddToQueue>"
                          "<AllowDeleteItems>false</AllowDeleteItems><AllowLibraryRefresh>true</AllowLibraryRefresh>"
                          "<AllowSelect>true</AllowSelect><ArtworkID>root</ArtworkID><Attributes/><ID>music</ID>"
                          "<MediaCollections/><MediaItems>%2</MediaItems><Name>Music</Name>"
                          "<TotalItemsAvailable>%3</TotalItemsAvailable></GetMediaCollectionResult>"
                          "</GetMediaCollectionResponse></s:Body></s:Envelope>")
        .arg(OVWSContract::serviceNamespace(), content)
        .arg(items)
        .toUtf8();
}

CXMLElementPtr resultElement(const CXMLDocumentPtr &document)
{
    const CXMLNodePtr body = Soap::getNode(document->rootElement(), QStringLiteral("Body"), Soap::envelopeNamespace());
    const CXMLNodePtr response = body ? body->childAtIndex(0) : CXMLNodePtr();
    return std::dynamic_pointer_cast<CXMLElement>(response ? response->childAtIndex(0) : CXMLNodePtr());
}

// Baseline: parsing the response into the XML model, nothing decoded.
void ParseResponseOnly(benchmark::State &state)
{
    const QByteArray bytes = mediaCollectionResponse(200);
    for (auto _ : state)
        benchmark::DoNotOptimize(CXMLDocument::initWithData(bytes, 0, nullptr));
    state.SetBytesProcessed(state.iterations() * bytes.size());
}
BENCHMARK(ParseResponseOnly)->Unit(benchmark::kMicrosecond);

// What a GetMediaCollection result costs: parse, find the Result, decode the record.
void DecodeMediaCollectionResponse(benchmark::State &state)
{
    const QByteArray bytes = mediaCollectionResponse(200);
    for (auto _ : state) {
        const CXMLDocumentPtr document = CXMLDocument::initWithData(bytes, 0, nullptr);
        OVWSMediaCollectionPtr collection = OVWSMediaCollection::createWithNode(resultElement(document));
        if (!collection || collection->MediaItems().size() != 200)
            state.SkipWithError("the response did not decode to 200 items");
        benchmark::DoNotOptimize(collection);
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
}
BENCHMARK(DecodeMediaCollectionResponse)->Unit(benchmark::kMicrosecond);

// Decoding alone, from an already parsed response.
void DecodeParsedMediaCollection(benchmark::State &state)
{
    const CXMLDocumentPtr document = CXMLDocument::initWithData(mediaCollectionResponse(200), 0, nullptr);
    const CXMLElementPtr result = resultElement(document);
    for (auto _ : state)
        benchmark::DoNotOptimize(OVWSMediaCollection::createWithNode(result));
}
BENCHMARK(DecodeParsedMediaCollection)->Unit(benchmark::kMicrosecond);

// Writing the decoded collection back as XML text.
void SerializeMediaCollection(benchmark::State &state)
{
    const CXMLDocumentPtr document = CXMLDocument::initWithData(mediaCollectionResponse(200), 0, nullptr);
    const OVWSMediaCollectionPtr collection = OVWSMediaCollection::createWithNode(resultElement(document));
    for (auto _ : state)
        benchmark::DoNotOptimize(collection->serialize());
}
BENCHMARK(SerializeMediaCollection)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();

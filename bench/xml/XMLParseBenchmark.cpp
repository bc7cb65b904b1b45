// Parsing a 5 MB SOAP response with the XML model, with and without walking
// every element. --write-document=PATH writes the response to PATH and exits
// (bench/xml/compare_xmllint.sh times xmllint on the same bytes).

#include "bench/xml/SoapResponseGenerator.h"
#include "xml/CXMLDocument.h"
#include "xml/CXMLElement.h"

#include <QFile>

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {

constexpr qsizetype responseSize = 5 * 1024 * 1024;

const QByteArray &response()
{
    static const QByteArray bytes = soapResponseOfSize(responseSize);
    return bytes;
}

// Every element below root, by children(), reading its name and, for leaves,
// its text: what the SOAP runtime does to decode a reply.
qsizetype walkElements(const CXMLElementPtr &root)
{
    qsizetype elements = 0;
    std::vector<CXMLNodePtr> pending{root};
    while (!pending.empty()) {
        const CXMLNodePtr node = pending.back();
        pending.pop_back();
        if (node->kind() != CXMLNode::ElementKind)
            continue;
        ++elements;
        benchmark::DoNotOptimize(node->name());
        const CXMLNodeList children = node->children();
        if (children.size() == 1 && children.first()->kind() == CXMLNode::TextKind)
            benchmark::DoNotOptimize(node->stringValue());
        for (const CXMLNodePtr &child : children)
            pending.push_back(child);
    }
    return elements;
}

void BM_ParseSoapResponse(benchmark::State &state)
{
    const QByteArray &bytes = response();
    for (auto _ : state) {
        CXMLDocumentPtr document = CXMLDocument::initWithData(bytes, 0, nullptr);
        if (!document)
            state.SkipWithError("parse failed");
        benchmark::DoNotOptimize(document);
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
}
BENCHMARK(BM_ParseSoapResponse)->Unit(benchmark::kMillisecond);

void BM_ParseAndWalkSoapResponse(benchmark::State &state)
{
    const QByteArray &bytes = response();
    qsizetype elements = 0;
    for (auto _ : state) {
        CXMLDocumentPtr document = CXMLDocument::initWithData(bytes, 0, nullptr);
        if (!document) {
            state.SkipWithError("parse failed");
            break;
        }
        elements = walkElements(document->rootElement());
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
    state.counters["elements"] = double(elements);
}
BENCHMARK(BM_ParseAndWalkSoapResponse)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    const char *option = "--write-document=";
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], option, std::strlen(option)) == 0) {
            QFile file(QString::fromLocal8Bit(argv[i] + std::strlen(option)));
            if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(response()) != response().size())
                return 1;
            return 0;
        }
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

// Any bytes as what one connection sends the simulator, arriving in pieces
// whose sizes the first byte picks: the reader cuts out requests within its
// limits, or says the bytes are malformed or too large.
#include "tools/simulator/HttpRequestReader.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const qsizetype piece = qsizetype(data[0]) + 1;
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    HttpRequestReader reader;
    for (qsizetype offset = 0; offset < bytes.size(); offset += piece) {
        reader.append(bytes.mid(offset, piece));
        for (;;) {
            HttpRequest request;
            const HttpRequestReader::State state = reader.next(&request);
            if (state == HttpRequestReader::State::Complete) {
                if (request.body.size() > HttpRequestReader::maximumBodyBytes)
                    std::abort();
                (void)request.header("Content-Length");
                (void)request.wantsClose();
                continue;
            }
            if (state != HttpRequestReader::State::NeedMore)
                return 0;
            break;
        }
    }
    return 0;
}

// Any text as the URIs of the mounts GVfs lists, one a line: each share name
// is read without crashing and is never a path.
#include "share/GvfsShares.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    for (const QByteArray &line : bytes.split('\n')) {
        const QString share = GvfsShares::shareNameOfUri(QString::fromUtf8(line));
        if (!share.isNull() && share.contains(QLatin1Char('/')))
            std::abort();
    }
    return 0;
}

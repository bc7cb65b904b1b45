// Any bytes as the kernel's mount table: every mount point read and named.
#include "share/MountInfoReader.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    for (const QString &mountPoint : MountInfoReader::mountPoints(bytes)) {
        // A volume's name is one component of its mount point.
        if (MountInfoReader::volumeName(mountPoint).contains(QLatin1Char('/')))
            std::abort();
    }
    return 0;
}

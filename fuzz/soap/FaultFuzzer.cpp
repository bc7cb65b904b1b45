#include "soap/SoapFault.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

// Any bytes as a response body to the fault check.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const SoapFault fault = SoapFault::faultWithData(bytes);
    const QString description = fault.description();
    // A description exists exactly when a fault was found.
    if (description.isNull() == fault.hasFault())
        std::abort();
    return 0;
}

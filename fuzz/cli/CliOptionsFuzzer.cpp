// Any bytes as the command line: NUL bytes separate the arguments. Parsing
// ends in a command or in an error that says what is wrong.
#include "cli/CliOptions.h"

#include <QByteArray>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    QStringList arguments;
    for (const QByteArray &argument : bytes.split('\0'))
        arguments.append(QString::fromUtf8(argument));
    const CliOptions options = CliOptions::parse(arguments);
    if (options.command() == CliOptions::Command::None && options.error().isEmpty())
        std::abort();
    (void)options.values(QStringLiteral("path-map"));
    return 0;
}

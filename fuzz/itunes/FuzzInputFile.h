#pragma once

// The fuzz input as a file of this process, for readers that take a path
// and tell the format by its extension. An input starting with a known
// extension and a line feed ("mp3\n...") is a file of that type; any other
// gets the extension its first byte picks.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <unistd.h>

inline QString writeFuzzInputFile(const char *target, const QStringList &extensions, const uint8_t *data, size_t size)
{
    if (size == 0 || extensions.isEmpty())
        return {};
    const QByteArray head = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(qMin<size_t>(size, 9)));
    const qsizetype lineEnd = head.indexOf('\n');
    QString extension = lineEnd > 0 ? QString::fromLatin1(head.left(lineEnd)) : QString();
    size_t skipped = size_t(lineEnd + 1);
    if (!extensions.contains(extension)) {
        extension = extensions.at(data[0] % extensions.size());
        skipped = 1;
    }
    const QString path = QStringLiteral("/tmp/%1.%2.%3").arg(QLatin1String(target)).arg(::getpid()).arg(extension);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return {};
    file.write(reinterpret_cast<const char *>(data + skipped), qint64(size - skipped));
    return path;
}

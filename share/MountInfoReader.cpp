#include "share/MountInfoReader.h"

#include <QFile>

namespace {

// The kernel writes blank, tab, line feed and backslash as \ooo.
QByteArray unescapeOctal(const QByteArray &field)
{
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const char c = field.at(i);
        if (c == '\\' && i + 3 < field.size()) {
            const QByteArray digits = field.mid(i + 1, 3);
            bool ok = digits.size() == 3;
            for (char d : digits)
                ok = ok && d >= '0' && d <= '7';
            if (ok) {
                out.append(char(digits.toInt(nullptr, 8)));
                i += 3;
                continue;
            }
        }
        out.append(c);
    }
    return out;
}

} // namespace

QStringList MountInfoReader::mountPoints(const QByteArray &mountInfo)
{
    // Fields: mount ID, parent ID, major:minor, root, mount point, ...
    QStringList points;
    for (const QByteArray &line : mountInfo.split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() < 5 || fields.at(4).isEmpty())
            continue;
        points.append(QString::fromUtf8(unescapeOctal(fields.at(4))));
    }
    return points;
}

QStringList MountInfoReader::currentMountPoints()
{
    QFile file(QStringLiteral("/proc/self/mountinfo"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // Files under /proc report size 0: read until the end.
    return mountPoints(file.readAll());
}

QString MountInfoReader::volumeName(const QString &mountPoint)
{
    QString path = mountPoint;
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    if (path == QLatin1String("/"))
        return QStringLiteral("");
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

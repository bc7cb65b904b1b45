#pragma once

#include <QDir>
#include <QString>

// "~" and a leading "~/" stand for the home folder, as in the shell (for a
// path typed in quotes, or written into the settings file); other text is
// kept as it is ("~ann/" included).
inline QString withHomeFolder(const QString &path, const QString &home = QDir::homePath())
{
    if (path == u"~" || path.startsWith(QLatin1String("~/")))
        return home + path.mid(1);
    return path;
}

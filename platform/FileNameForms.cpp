#include "platform/FileNameForms.h"

#include <QByteArray>

#include <sys/stat.h>

namespace {

bool exists(const QString &path)
{
    struct stat info;
    return ::lstat(path.toUtf8().constData(), &info) == 0;
}

// Characters below U+00C0 have no canonical decomposition: a path of them
// alone reads the same in every form, and most paths are such.
bool hasOneForm(const QString &path)
{
    for (const QChar character : path) {
        if (character.unicode() >= 0xC0)
            return false;
    }
    return true;
}

} // namespace

QString FileNameForms::otherFormOfMissing(const QString &path)
{
    if (hasOneForm(path) || exists(path))
        return {};
    for (const QString::NormalizationForm form : {QString::NormalizationForm_C, QString::NormalizationForm_D}) {
        const QString other = path.normalized(form);
        if (other != path && exists(other))
            return other;
    }
    return {};
}

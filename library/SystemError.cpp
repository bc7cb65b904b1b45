#include "library/SystemError.h"

#include "library/MusicLibrary.h"

#include <cstring>

ErrorRecord SystemError::fromErrno(int errorNumber, const QString &path)
{
    ErrorRecord error(MusicLibrary::PosixErrorDomain, errorNumber);
    error.addDetail(ErrorRecord::LocalizedDescriptionKey, QString::fromLocal8Bit(std::strerror(errorNumber)));
    if (!path.isNull())
        error.addDetail(MusicLibrary::FilePathErrorKey, path);
    return error;
}

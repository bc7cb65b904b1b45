#include "library/SystemError.h"

#include "library/EngineErrors.h"

#include <cstring>

ErrorRecord SystemError::fromErrno(int errorNumber, const QString &path)
{
    ErrorRecord error(EngineErrors::PosixDomain, errorNumber);
    error.addDetail(ErrorRecord::LocalizedDescriptionKey, QString::fromLocal8Bit(std::strerror(errorNumber)));
    if (!path.isNull())
        error.addDetail(EngineErrors::FilePathKey, path);
    return error;
}

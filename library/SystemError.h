#pragma once

#include "platform/ErrorRecord.h"

#include <QString>

// Error records of failed system calls: domain "NSPOSIXErrorDomain", the
// error number as code, its text as description and the path concerned.
class SystemError {
public:
    static ErrorRecord fromErrno(int errorNumber, const QString &path);
};

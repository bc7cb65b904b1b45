#pragma once

#include <QString>

// Developer traces to the system log (syslog), identified as "orvanasync".
// ORVANA_SYSLOG_STDERR=1 in the environment mirrors them on standard error.
void systemLog(const QString &message);

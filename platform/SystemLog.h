#pragma once

#include <QString>

// Developer traces to the system log (syslog), identified as "orvanasync".
// Control characters are escaped and a message longer than
// ControlCharacters::LogLineLimit is cut. ORVANA_SYSLOG_STDERR=1 in the environment mirrors them on standard error.
void systemLog(const QString &message);

// Traces that would fill the log on every run (each mount point seen, say):
// written, at debug priority, only when ORVANA_DEBUG_LOG=1.
void systemDebugLog(const QString &message);

#include "platform/SystemLog.h"

#include "platform/ControlCharacters.h"

#include <QByteArray>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <syslog.h>

namespace {

void writeLog(int priority, const QString &message)
{
    static std::once_flag opened;
    std::call_once(opened, [] { openlog("orvanasync", LOG_PID, LOG_USER); });
    // One line each, however long or strange the text it quotes.
    const QByteArray text = ControlCharacters::logLine(message).toUtf8();
    syslog(priority, "%s", text.constData());
    static const bool mirror = qEnvironmentVariableIntValue("ORVANA_SYSLOG_STDERR") == 1;
    if (mirror)
        std::fprintf(stderr, "%s\n", text.constData());
}

} // namespace

void systemLog(const QString &message)
{
    writeLog(LOG_NOTICE, message);
}

void systemDebugLog(const QString &message)
{
    static const bool wanted = qEnvironmentVariableIntValue("ORVANA_DEBUG_LOG") == 1;
    if (wanted)
        writeLog(LOG_DEBUG, message);
}

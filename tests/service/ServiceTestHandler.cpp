#include "tests/service/ServiceTestHandler.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

bool ServiceTestHandler::waitFor(qsizetype count, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (deliveries.size() < count && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    return deliveries.size() >= count;
}

#pragma once

#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <functional>

namespace testsupport {

// A typed report sink that calls receiver's handler on the receiver's thread
// and waits for it, as the application's report queue hands reports to the
// main thread: a direct call on that thread, a blocking hand-off from others.
template <typename Receiver, typename Report>
std::function<void(const Report &)> sinkOnThreadOf(Receiver *receiver, void (Receiver::*handler)(const Report &))
{
    return [receiver, handler](const Report &report) {
        if (QThread::currentThread() == receiver->thread()) {
            (receiver->*handler)(report);
            return;
        }
        QMetaObject::invokeMethod(
            receiver, [receiver, handler, &report] { (receiver->*handler)(report); }, Qt::BlockingQueuedConnection);
    };
}

} // namespace testsupport

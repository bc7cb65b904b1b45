#include "discovery/QtAvahiPoll.h"

#include <QSocketNotifier>
#include <QTimer>

#include <avahi-common/timeval.h>

#include <climits>

struct AvahiWatch {
    QtAvahiPoll *poll = nullptr;
    int fd = -1;
    AvahiWatchEvent wanted = AvahiWatchEvent(0);
    // The event being handed to the callback (watch_get_events); 0 outside it.
    AvahiWatchEvent happened = AvahiWatchEvent(0);
    AvahiWatchCallback callback = nullptr;
    void *userdata = nullptr;
    QSocketNotifier *readable = nullptr;
    QSocketNotifier *writable = nullptr;
};

struct AvahiTimeout {
    QtAvahiPoll *poll = nullptr;
    AvahiTimeoutCallback callback = nullptr;
    void *userdata = nullptr;
    QTimer *timer = nullptr;
};

namespace {

// Notifiers and timers may be freed from inside their own signal: they are
// switched off at once and deleted by the event loop (or with the poll,
// their parent).
void retire(QSocketNotifier *notifier)
{
    if (!notifier)
        return;
    notifier->setEnabled(false);
    notifier->disconnect();
    notifier->deleteLater();
}

void arm(AvahiTimeout *timeout, const struct timeval *tv)
{
    if (!tv) {
        timeout->timer->stop();
        return;
    }
    // avahi_age is negative for a moment still to come.
    const AvahiUsec remainingUs = -avahi_age(tv);
    const qint64 remainingMs = remainingUs <= 0 ? 0 : (remainingUs + 999) / 1000;
    timeout->timer->start(int(qMin<qint64>(remainingMs, INT_MAX)));
}

} // namespace

QtAvahiPoll::QtAvahiPoll(QObject *parent) : QObject(parent)
{
    m_api.userdata = this;
    m_api.watch_new = &QtAvahiPoll::watchNew;
    m_api.watch_update = &QtAvahiPoll::watchUpdate;
    m_api.watch_get_events = &QtAvahiPoll::watchGetEvents;
    m_api.watch_free = &QtAvahiPoll::watchFree;
    m_api.timeout_new = &QtAvahiPoll::timeoutNew;
    m_api.timeout_update = &QtAvahiPoll::timeoutUpdate;
    m_api.timeout_free = &QtAvahiPoll::timeoutFree;
}

QtAvahiPoll::~QtAvahiPoll()
{
    // The notifiers and timers go with this object, their parent.
    for (AvahiWatch *watch : m_watches)
        delete watch;
    for (AvahiTimeout *timeout : m_timeouts)
        delete timeout;
}

AvahiWatch *QtAvahiPoll::watchNew(const AvahiPoll *api, int fd, AvahiWatchEvent events, AvahiWatchCallback callback,
                                  void *userdata)
{
    auto *poll = static_cast<QtAvahiPoll *>(api->userdata);
    auto *watch = new AvahiWatch;
    watch->poll = poll;
    watch->fd = fd;
    watch->callback = callback;
    watch->userdata = userdata;
    watch->readable = new QSocketNotifier(fd, QSocketNotifier::Read, poll);
    watch->writable = new QSocketNotifier(fd, QSocketNotifier::Write, poll);
    connect(watch->readable, &QSocketNotifier::activated, poll,
            [poll, watch] { poll->dispatchWatch(watch, AVAHI_WATCH_IN); });
    connect(watch->writable, &QSocketNotifier::activated, poll,
            [poll, watch] { poll->dispatchWatch(watch, AVAHI_WATCH_OUT); });
    poll->m_watches.insert(watch);
    watchUpdate(watch, events);
    return watch;
}

void QtAvahiPoll::watchUpdate(AvahiWatch *watch, AvahiWatchEvent events)
{
    watch->wanted = events;
    // A hang-up or an error shows as the socket turning readable.
    watch->readable->setEnabled((events & (AVAHI_WATCH_IN | AVAHI_WATCH_HUP | AVAHI_WATCH_ERR)) != 0);
    watch->writable->setEnabled((events & AVAHI_WATCH_OUT) != 0);
}

AvahiWatchEvent QtAvahiPoll::watchGetEvents(AvahiWatch *watch)
{
    return watch->happened;
}

void QtAvahiPoll::watchFree(AvahiWatch *watch)
{
    watch->poll->m_watches.erase(watch);
    retire(watch->readable);
    retire(watch->writable);
    delete watch;
}

void QtAvahiPoll::dispatchWatch(AvahiWatch *watch, AvahiWatchEvent event)
{
    if (!m_watches.count(watch))
        return;
    watch->happened = event;
    watch->callback(watch, watch->fd, event, watch->userdata);
    // The callback may have freed the watch.
    if (m_watches.count(watch))
        watch->happened = AvahiWatchEvent(0);
}

AvahiTimeout *QtAvahiPoll::timeoutNew(const AvahiPoll *api, const struct timeval *tv, AvahiTimeoutCallback callback,
                                      void *userdata)
{
    auto *poll = static_cast<QtAvahiPoll *>(api->userdata);
    auto *timeout = new AvahiTimeout;
    timeout->poll = poll;
    timeout->callback = callback;
    timeout->userdata = userdata;
    timeout->timer = new QTimer(poll);
    timeout->timer->setSingleShot(true);
    connect(timeout->timer, &QTimer::timeout, poll, [poll, timeout] { poll->dispatchTimeout(timeout); });
    poll->m_timeouts.insert(timeout);
    arm(timeout, tv);
    return timeout;
}

void QtAvahiPoll::timeoutUpdate(AvahiTimeout *timeout, const struct timeval *tv)
{
    arm(timeout, tv);
}

void QtAvahiPoll::timeoutFree(AvahiTimeout *timeout)
{
    timeout->poll->m_timeouts.erase(timeout);
    timeout->timer->stop();
    timeout->timer->disconnect();
    timeout->timer->deleteLater();
    delete timeout;
}

void QtAvahiPoll::dispatchTimeout(AvahiTimeout *timeout)
{
    if (m_timeouts.count(timeout))
        timeout->callback(timeout, timeout->userdata);
}

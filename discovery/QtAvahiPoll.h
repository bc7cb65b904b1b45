#pragma once

#include <QObject>

#include <avahi-common/watch.h>

#include <unordered_set>

// The poll interface the Avahi client library runs on, served by the Qt
// event loop of the thread that owns this object: watches are socket
// notifiers, time-outs single-shot timers. Ours rather than avahi-glib's,
// because that one only runs while Qt happens to dispatch through GLib
// (not with QT_NO_GLIB set, nor on another event dispatcher); this one runs
// on any. Must outlive every client made on it.
class QtAvahiPoll : public QObject {
    Q_OBJECT

public:
    explicit QtAvahiPoll(QObject *parent = nullptr);
    ~QtAvahiPoll() override;

    const AvahiPoll *api() const { return &m_api; }

private:
    static AvahiWatch *watchNew(const AvahiPoll *api, int fd, AvahiWatchEvent events, AvahiWatchCallback callback,
                                void *userdata);
    static void watchUpdate(AvahiWatch *watch, AvahiWatchEvent events);
    static AvahiWatchEvent watchGetEvents(AvahiWatch *watch);
    static void watchFree(AvahiWatch *watch);
    static AvahiTimeout *timeoutNew(const AvahiPoll *api, const struct timeval *tv, AvahiTimeoutCallback callback,
                                    void *userdata);
    static void timeoutUpdate(AvahiTimeout *timeout, const struct timeval *tv);
    static void timeoutFree(AvahiTimeout *timeout);

    void dispatchWatch(AvahiWatch *watch, AvahiWatchEvent event);
    void dispatchTimeout(AvahiTimeout *timeout);

    AvahiPoll m_api;
    // What Avahi has not freed yet: a callback may free its own watch or
    // time-out, and whatever is left at the end is freed here.
    std::unordered_set<AvahiWatch *> m_watches;
    std::unordered_set<AvahiTimeout *> m_timeouts;
};

#pragma once

#include "library/Notify.h"

#include <QObject>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

// Hands the reports of a worker thread (the load, the sync run) to the
// receiver's thread in the order they were made, shown one at a time,
// without an event-loop round trip and a thread switch per report: the
// worker appends to a bounded queue and goes on, and the receiver's thread
// is woken once per batch; while reports keep coming it takes them every
// PollMilliseconds without being woken. A full queue wakes the receiver and
// holds the worker until it has shown half of it, so the worker is never
// far ahead. A report that must be on screen before the worker goes on (a
// stage change, an error) is waited for and wakes the receiver at once. The
// receiver's thread shows a report made on it at once.
class ReportQueue {
public:
    using Show = std::function<void(const Notify &)>;
    static constexpr std::size_t DefaultCapacity = 1024;
    // How long a report that goes on may wait to be shown while the worker
    // is busy.
    static constexpr int PollMilliseconds = 10;

    // show runs on receiver's thread for every report; batchShown after each
    // batch (a place to flush output).
    ReportQueue(QObject *receiver, Show show, std::function<void()> batchShown = {},
                std::size_t capacity = DefaultCapacity);
    ReportQueue(const ReportQueue &) = delete;
    ReportQueue &operator=(const ReportQueue &) = delete;

    // Any thread. Returns once the report is queued, or once it has been
    // shown when it is one to wait for (needsWaiting).
    void report(const Notify &notify);
    // Whether the worker waits until notify is shown: all but the per-item
    // reports (log lines and progress after a stage's first item).
    static bool needsWaiting(const Notify &notify);
    // A worker thread: returns once every report it made has been shown.
    void waitUntilShown();
    // The receiver's thread: shows the reports queued so far.
    void showQueued();
    // The receiver's thread: whether a batch is being shown now.
    bool showingBatch() const { return m_showingBatch; }

private:
    void enqueue(const Notify &notify, bool wait);
    void postWake();
    void poll();
    void showBatch(bool keepPolling);

    QObject *m_receiver;
    Show m_show;
    std::function<void()> m_batchShown;
    std::size_t m_capacity;
    QObject m_context;

    std::mutex m_mutex;
    std::condition_variable m_shownChanged;
    std::deque<Notify> m_queue;
    // Reports queued and shown since the start; a worker waits for its own
    // number to be shown.
    quint64 m_queued = 0;
    quint64 m_shown = 0;
    // A wake-up event is posted; a poll is due.
    bool m_wakePosted = false;
    bool m_polling = false;
    bool m_showingBatch = false;
};

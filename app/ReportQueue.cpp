#include "app/ReportQueue.h"

#include <QThread>
#include <QTimer>

ReportQueue::ReportQueue(QObject *receiver, Show show, std::function<void()> batchShown, std::size_t capacity)
    : m_receiver(receiver), m_show(std::move(show)), m_batchShown(std::move(batchShown)),
      m_capacity(capacity < 2 ? 2 : capacity)
{
    // Wake-ups and polls are events of the receiver's thread, dropped with
    // this queue.
    if (m_context.thread() != receiver->thread())
        m_context.moveToThread(receiver->thread());
}

bool ReportQueue::needsWaiting(const Notify &notify)
{
    if (notify.is(Activity::Log))
        return false;
    // The first item of a stage is shown before the stage goes on: what
    // the receiver reads of the model then is not being changed.
    if (notify.is(Activity::LoadProgress) || notify.is(Activity::TrackProgress) || notify.is(Activity::CoverProgress))
        return notify.progress() == 0;
    return true;
}

void ReportQueue::report(const Notify &notify)
{
    if (QThread::currentThread() == m_receiver->thread()) {
        // What a worker queued before comes first.
        showQueued();
        m_show(notify);
        return;
    }
    enqueue(notify, needsWaiting(notify));
}

void ReportQueue::enqueue(const Notify &notify, bool wait)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_queue.size() >= m_capacity)
        m_shownChanged.wait(lock, [this] { return m_queue.size() <= m_capacity / 2; });
    m_queue.push_back(notify);
    const quint64 number = ++m_queued;
    // While the receiver polls, reports that go on need no wake-up of their
    // own; one that is waited for, or one that fills the queue, does.
    const bool urgent = wait || m_queue.size() >= m_capacity;
    const bool mustWake = !m_wakePosted && (!m_polling || urgent);
    if (mustWake)
        m_wakePosted = true;
    lock.unlock();
    if (mustWake)
        postWake();
    if (wait) {
        lock.lock();
        m_shownChanged.wait(lock, [this, number] { return m_shown >= number; });
    }
}

void ReportQueue::waitUntilShown()
{
    if (QThread::currentThread() == m_receiver->thread()) {
        showQueued();
        return;
    }
    std::unique_lock<std::mutex> lock(m_mutex);
    const quint64 number = m_queued;
    if (m_shown < number && !m_wakePosted) {
        m_wakePosted = true;
        lock.unlock();
        postWake();
        lock.lock();
    }
    m_shownChanged.wait(lock, [this, number] { return m_shown >= number; });
}

void ReportQueue::postWake()
{
    QMetaObject::invokeMethod(
        &m_context,
        [this] {
            {
                const std::lock_guard<std::mutex> lock(m_mutex);
                m_wakePosted = false;
            }
            showBatch(true);
        },
        Qt::QueuedConnection);
}

void ReportQueue::poll()
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_polling = false;
    }
    showBatch(true);
}

void ReportQueue::showQueued()
{
    showBatch(false);
}

void ReportQueue::showBatch(bool keepPolling)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    // Called before every report made on the receiver's thread: most often
    // nothing is queued, and an empty deque costs two allocations.
    if (m_queue.empty())
        return;
    std::deque<Notify> batch;
    batch.swap(m_queue);
    // A busy worker's next reports are taken by a poll a moment later
    // instead of each waking this thread: one wake-up per batch.
    if (keepPolling && !m_polling) {
        m_polling = true;
        QTimer::singleShot(PollMilliseconds, &m_context, [this] { poll(); });
    }
    lock.unlock();
    // A worker held by a full queue goes on while this batch is shown.
    m_shownChanged.notify_all();
    m_showingBatch = true;
    for (const Notify &notify : batch)
        m_show(notify);
    m_showingBatch = false;
    lock.lock();
    m_shown += batch.size();
    lock.unlock();
    m_shownChanged.notify_all();
    if (m_batchShown)
        m_batchShown();
}

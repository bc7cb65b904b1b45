#include "library/CoversAhead.h"

#include "library/AlbumCover.h"

CoversAhead::CoversAhead(std::vector<AlbumCover *> covers, std::size_t window, bool helper)
    : m_covers(std::move(covers)), m_window(window), m_states(m_covers.size(), State::Waiting)
{
    // A lone cover is prepared at its turn, with nothing to overlap.
    if (helper && m_covers.size() > 1 && m_window > 0)
        m_thread = std::thread([this] { run(); });
}

CoversAhead::~CoversAhead()
{
    {
        const std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

bool CoversAhead::defaultHelper()
{
    return std::thread::hardware_concurrency() > 1;
}

void CoversAhead::claim(std::size_t index)
{
    m_states[index] = State::Preparing;
    while (m_nextUnclaimed < m_states.size() && m_states[m_nextUnclaimed] != State::Waiting)
        ++m_nextUnclaimed;
}

void CoversAhead::prepare(std::size_t index)
{
    try {
        m_covers[index]->prepareArtwork();
    } catch (...) {
        // Nothing kept: copyArtwork prepares it again at its turn and
        // reports what goes wrong there.
    }
}

void CoversAhead::ready(std::size_t index)
{
    std::unique_lock lock(m_mutex);
    m_turn = index;
    m_changed.notify_all();
    for (;;) {
        if (m_states[index] == State::Prepared)
            return;
        // While the helper prepares this cover, this thread prepares one
        // further on rather than wait: both processors then convert images.
        std::size_t next = index;
        if (m_states[index] != State::Waiting) {
            if (m_nextUnclaimed >= m_covers.size() || m_nextUnclaimed > m_turn + m_window) {
                m_changed.wait(lock, [&] { return m_states[index] == State::Prepared; });
                return;
            }
            next = m_nextUnclaimed;
        }
        claim(next);
        lock.unlock();
        prepare(next);
        lock.lock();
        m_states[next] = State::Prepared;
        m_changed.notify_all();
    }
}

void CoversAhead::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] {
            return m_quit || m_nextUnclaimed >= m_covers.size() || m_nextUnclaimed <= m_turn + m_window;
        });
        if (m_quit || m_nextUnclaimed >= m_covers.size())
            return;
        const std::size_t index = m_nextUnclaimed;
        claim(index);
        lock.unlock();
        prepare(index);
        lock.lock();
        m_states[index] = State::Prepared;
        m_changed.notify_all();
    }
}

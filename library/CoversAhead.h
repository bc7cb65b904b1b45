#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>
#include <vector>

class AlbumCover;

// Prepares the covers a run is about to export (AlbumCover::prepareArtwork:
// reading and converting each image, nothing on the share) on a thread of
// its own, a few covers ahead of the run, while the run stores the ones
// before. Each cover is prepared once, by whichever thread reaches it first;
// the run stores it at its own turn, so what the share, the log and the
// counters show is as without this.
class CoversAhead {
public:
    // The covers in the order the run exports them. window: how many covers
    // beyond the run's own may be prepared (their images are held in memory
    // meanwhile). helper: whether to prepare on a thread of its own at all;
    // by default only where there is a second processor to run it.
    explicit CoversAhead(std::vector<AlbumCover *> covers, std::size_t window = 4, bool helper = defaultHelper());
    // Waits for the cover in preparation, if any; the rest stay unprepared.
    ~CoversAhead();
    CoversAhead(const CoversAhead &) = delete;
    CoversAhead &operator=(const CoversAhead &) = delete;

    // Answers when covers[index] is prepared: prepares it here if no thread
    // has started it; while the helper does, prepares the next unclaimed one
    // here, or waits. Called from one thread,
    // for each index in turn (a skipped cover is left to the helper).
    void ready(std::size_t index);

    static bool defaultHelper();

private:
    enum class State : unsigned char { Waiting, Preparing, Prepared };

    void run();
    // Marks covers[index] as being prepared by the calling thread; lock held.
    void claim(std::size_t index);
    void prepare(std::size_t index);

    const std::vector<AlbumCover *> m_covers;
    const std::size_t m_window;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<State> m_states;
    std::size_t m_nextUnclaimed = 0;
    std::size_t m_turn = 0;
    bool m_quit = false;
    std::thread m_thread;
};

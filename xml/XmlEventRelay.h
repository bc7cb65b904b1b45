#pragma once

#include "xml/XmlAttributes.h"
#include "xml/XmlPushParser.h"

#include <QByteArrayView>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <vector>

// Parse events handed from the thread that parses to the thread that
// handles them: start tags with their attributes, end tags and text, each
// with its line, copied into blocks of about BlockSize bytes; at most
// BlocksInFlight blocks wait, so a parser ahead of its handler waits too.
class XmlEventRelay {
public:
    static constexpr size_t BlockSize = 256 * 1024;
    static constexpr size_t BlocksInFlight = 4;

    // The parsing thread's side. Events after cancel() are dropped.
    void startElement(int line, QByteArrayView localName, QByteArrayView prefix, const XmlAttributes &attributes);
    void endElement(int line);
    void characters(int line, QByteArrayView text);
    // No event follows: hands over what is left.
    void finish();
    bool cancelled() const;

    // The handling thread's side: hands every event to handler in order,
    // the current event's line in *line, until the parsing side finishes or
    // stopped is true after an event (then it cancels). An exception of the
    // handler leaves it after cancelling.
    void replay(XmlPushParser::Handler &handler, int *line, const bool &stopped);
    // Drops what waits and every event to come, and wakes a waiting parser.
    void cancel();

private:
    // Each event is its kind and what it holds; a Line record comes before
    // the first event of each new line.
    enum Kind : char { Start = 'S', End = 'E', Text = 'T', Line = 'L' };
    // Room for an event of kind and bytes more, after its line if new.
    char *begin(Kind kind, int line, size_t bytes);
    // Room for bytes more at the end of the block being filled.
    char *reserve(size_t bytes)
    {
        if (m_block.bytes.size() - m_block.used < bytes)
            grow(bytes);
        char *at = m_block.bytes.data() + m_block.used;
        m_block.used += bytes;
        return at;
    }
    void grow(size_t bytes);
    void handOver();

    // Bytes allocated once (never zeroed again) and how many are events.
    struct Block {
        std::vector<char> bytes;
        size_t used = 0;
    };

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Block> m_full;
    std::vector<Block> m_spare;
    bool m_finished = false;
    bool m_cancelled = false;
    // m_cancelled, for the parsing thread's look after every start tag.
    std::atomic<bool> m_cancelledFlag = false;
    // The block being filled, on the parsing thread.
    Block m_block;
    int m_lastLine = -1;
};

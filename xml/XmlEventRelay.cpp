#include "xml/XmlEventRelay.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

// Reads what XmlEventRelay wrote, in order.
class BlockReader {
public:
    BlockReader(const char *bytes, size_t size) : m_at(bytes), m_end(bytes + size) {}

    bool atEnd() const { return m_at >= m_end; }
    char kind() { return *m_at++; }
    uint32_t size()
    {
        uint32_t value;
        std::memcpy(&value, m_at, sizeof value);
        m_at += sizeof value;
        return value;
    }
    QByteArrayView bytes()
    {
        const uint32_t length = size();
        const QByteArrayView view(m_at, qsizetype(length));
        m_at += length;
        return view;
    }

private:
    const char *m_at;
    const char *m_end;
};

} // namespace

void XmlEventRelay::grow(size_t bytes)
{
    std::vector<char> &block = m_block.bytes;
    block.resize(std::max(std::max(block.size() * 2, BlockSize + BlockSize / 4), m_block.used + bytes));
}

namespace {

char *putSize(char *at, size_t size)
{
    const auto value = uint32_t(size);
    std::memcpy(at, &value, sizeof value);
    return at + sizeof value;
}

char *putBytes(char *at, QByteArrayView bytes)
{
    at = putSize(at, size_t(bytes.size()));
    if (!bytes.isEmpty())
        std::memcpy(at, bytes.data(), size_t(bytes.size()));
    return at + bytes.size();
}

constexpr size_t SizeSize = sizeof(uint32_t);

} // namespace

char *XmlEventRelay::begin(Kind kind, int line, size_t bytes)
{
    const bool newLine = line != m_lastLine;
    char *at = reserve(1 + bytes + (newLine ? 1 + SizeSize : 0));
    if (newLine) {
        m_lastLine = line;
        *at++ = Line;
        at = putSize(at, size_t(line < 0 ? 0 : line));
    }
    *at++ = kind;
    return at;
}

void XmlEventRelay::startElement(int line, QByteArrayView localName, QByteArrayView prefix,
                                 const XmlAttributes &attributes)
{
    size_t bytes = 3 * SizeSize + size_t(localName.size() + prefix.size());
    for (const XmlAttributes::Entry &entry : attributes.entries())
        bytes += 3 * SizeSize + size_t(entry.prefix.size() + entry.localName.size() + entry.value.size());
    char *at = begin(Start, line, bytes);
    at = putBytes(at, localName);
    at = putBytes(at, prefix);
    at = putSize(at, size_t(attributes.size()));
    for (const XmlAttributes::Entry &entry : attributes.entries()) {
        at = putBytes(at, entry.prefix);
        at = putBytes(at, entry.localName);
        at = putBytes(at, entry.value);
    }
    if (m_block.used >= BlockSize)
        handOver();
}

void XmlEventRelay::endElement(int line)
{
    begin(End, line, 0);
    if (m_block.used >= BlockSize)
        handOver();
}

void XmlEventRelay::characters(int line, QByteArrayView text)
{
    putBytes(begin(Text, line, SizeSize + size_t(text.size())), text);
    if (m_block.used >= BlockSize)
        handOver();
}

void XmlEventRelay::handOver()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return m_cancelled || m_full.size() < BlocksInFlight; });
    if (m_cancelled) {
        m_block.used = 0;
        return;
    }
    m_full.push_back(std::move(m_block));
    m_block = {};
    if (!m_spare.empty()) {
        m_block = std::move(m_spare.back());
        m_spare.pop_back();
    }
    m_changed.notify_all();
}

void XmlEventRelay::finish()
{
    if (m_block.used > 0)
        handOver();
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_finished = true;
    m_changed.notify_all();
}

bool XmlEventRelay::cancelled() const
{
    return m_cancelledFlag.load(std::memory_order_relaxed);
}

void XmlEventRelay::cancel()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_cancelled = true;
    m_cancelledFlag = true;
    m_full.clear();
    m_changed.notify_all();
}

void XmlEventRelay::replay(XmlPushParser::Handler &handler, int *line, const bool &stopped)
{
    XmlAttributes attributes;
    for (;;) {
        Block block;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_changed.wait(lock, [this] { return m_cancelled || m_finished || !m_full.empty(); });
            if (m_cancelled || m_full.empty())
                return;
            block = std::move(m_full.front());
            m_full.pop_front();
            m_changed.notify_all();
        }
        try {
            BlockReader reader(block.bytes.data(), block.used);
            while (!reader.atEnd()) {
                const char kind = reader.kind();
                if (kind == Line) {
                    *line = int(reader.size());
                    continue;
                }
                if (kind == Start) {
                    const QByteArrayView localName = reader.bytes();
                    const QByteArrayView prefix = reader.bytes();
                    attributes.clear();
                    for (uint32_t count = reader.size(); count > 0; --count) {
                        const QByteArrayView attributePrefix = reader.bytes();
                        const QByteArrayView attributeName = reader.bytes();
                        attributes.append(attributePrefix, attributeName, reader.bytes());
                    }
                    handler.startElement(localName, prefix, attributes);
                } else if (kind == End) {
                    handler.endElement();
                } else {
                    handler.characters(reader.bytes());
                }
                if (stopped) {
                    cancel();
                    return;
                }
            }
        } catch (...) {
            cancel();
            throw;
        }
        block.used = 0;
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_spare.push_back(std::move(block));
    }
}

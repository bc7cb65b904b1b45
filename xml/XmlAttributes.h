#pragma once

#include <QByteArrayView>
#include <QString>

#include <algorithm>
#include <optional>
#include <vector>

// The attributes of one start tag as the reader saw them: qualified names and
// values as UTF-8 views into the parser's buffers, valid only during the
// start-element call. Values are converted only when asked for.
class XmlAttributes {
public:
    struct Entry {
        QByteArrayView prefix;
        QByteArrayView localName;
        QByteArrayView value;
    };

    void append(QByteArrayView prefix, QByteArrayView localName, QByteArrayView value)
    {
        m_entries.push_back({prefix, localName, value});
    }
    void clear() { m_entries.clear(); }
    qsizetype size() const { return qsizetype(m_entries.size()); }
    const std::vector<Entry> &entries() const { return m_entries; }
    // The length in bytes of the longest value; 0 without attributes.
    qsizetype longestValue() const
    {
        qsizetype longest = 0;
        for (const Entry &entry : m_entries)
            longest = std::max(longest, entry.value.size());
        return longest;
    }

    // The value of the first attribute whose name, as written, is exactly
    // qualifiedName; none when there is no such attribute.
    std::optional<QString> value(QByteArrayView qualifiedName) const;

private:
    std::vector<Entry> m_entries;
};

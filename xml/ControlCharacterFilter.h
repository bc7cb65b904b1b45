#pragma once

#include <QByteArray>
#include <QByteArrayView>

// Drops from a UTF-8 document, fed in pieces, the control characters XML
// 1.0 does not allow (U+0001 to U+001F but tab, line feed and carriage
// return), written raw or as character references (&#1; &#x1F;), and the
// reference &#0;. Damaged tags put such characters into exported names,
// and a single one makes the whole document unreadable. A raw NUL is left
// for the parser to refuse (a file with zeros in it is damaged, not odd), as
// is every other byte. A document that starts in UTF-16 or UTF-32 passes
// unchanged: there these bytes are parts of other characters.
class ControlCharacterFilter {
public:
    // The piece without those characters. A reference cut by the end of a
    // piece is held back and judged with the next piece; last says there is
    // none. Valid until the next call.
    QByteArrayView filter(QByteArrayView piece, bool last);

    qint64 dropped() const { return m_dropped; }
    // The line of the first dropped character (1 is the first); 0 for none.
    int firstDroppedLine() const { return m_firstDroppedLine; }

private:
    void drop();

    QByteArray m_output;
    QByteArray m_heldBack;
    bool m_started = false;
    bool m_passThrough = false;
    int m_line = 1;
    qint64 m_dropped = 0;
    int m_firstDroppedLine = 0;
};

#pragma once

#include <QString>

// Text from outside (song titles, file locations, server answers) made safe
// to print on a terminal or in a log line: every control character is
// written as a visible escape, so nothing read can move the cursor, change
// colours, ring the bell or start a line of its own. Backslashes are left
// as they are; text without control characters comes back unchanged.
class ControlCharacters {
public:
    enum class Tabs { Escaped, Kept };

    // The longest log line kept whole; longer ones are cut (see cut()).
    static constexpr qsizetype LogLineLimit = 8192;

    // C0 (U+0000-U+001F), DEL, C1 (U+0080-U+009F) and the line and paragraph
    // separators as \a \b \t \n \v \f \r \e, \xHH or \uHHHH. Tabs::Kept keeps
    // the tab where a format separates fields with it.
    static QString escaped(const QString &text, Tabs tabs = Tabs::Escaped);
    // Whether escaped() would change text.
    static bool contains(QStringView text, Tabs tabs = Tabs::Escaped);
    // The first limit characters of text and a note of how many more there
    // were, or text itself when it is no longer than limit.
    static QString cut(const QString &text, qsizetype limit = LogLineLimit);
    // cut(), then escaped(): the form of a log line.
    static QString logLine(const QString &text, qsizetype limit = LogLineLimit);
};

#include "xml/ControlCharacterFilter.h"

#include <QList>

#include <gtest/gtest.h>

namespace {

// The whole text through the filter, cut into two pieces at cut.
QByteArray filtered(const QByteArray &text, qsizetype cut, ControlCharacterFilter &filter)
{
    QByteArray out = filter.filter(QByteArrayView(text).first(cut), false).toByteArray();
    out += filter.filter(QByteArrayView(text).sliced(cut), true).toByteArray();
    return out;
}

TEST(ControlCharacterFilterTest, DropsDisallowedControlsRawOrAsReferencesWhereverAPieceEnds)
{
    struct Case {
        QByteArray text;
        QByteArray expected;
        qint64 dropped;
    };
    const QList<Case> cases = {
        {"<s>Bad\x01Name\x1b[0m</s>", "<s>BadName[0m</s>", 2},
        {"<s>&#1;&#x1F;&#x1f;&#0;&#11;x</s>", "<s>x</s>", 5},
        // What XML allows stays, for the parser to read.
        {"<s>&#9;&#10;&#13;&#x20;&#38;&amp;&#x1F600;&#;&#x;&#1</s>", "<s>&#9;&#10;&#13;&#x20;&#38;&amp;&#x1F600;&#;&#x;&#1</s>", 0},
        {"<s>tab\tline\ncr\r</s>", "<s>tab\tline\ncr\r</s>", 0},
        // A raw NUL is damage, not an odd name: the parser refuses it.
        {QByteArray("<s>a\0b</s>", 10), QByteArray("<s>a\0b</s>", 10), 0},
        {"a &#x0000001F; b &#00000001; c", "a  b  c", 2},
        {"trailing &#", "trailing &#", 0},
    };
    for (const Case &entry : cases) {
        for (qsizetype cut = 0; cut <= entry.text.size(); ++cut) {
            ControlCharacterFilter filter;
            EXPECT_EQ(filtered(entry.text, cut, filter), entry.expected) << entry.text.toStdString() << " cut at " << cut;
            EXPECT_EQ(filter.dropped(), entry.dropped) << entry.text.toStdString() << " cut at " << cut;
        }
    }
}

TEST(ControlCharacterFilterTest, NamesTheFirstLineAndLeavesUtf16Alone)
{
    ControlCharacterFilter filter;
    EXPECT_EQ(filter.filter("one\ntwo\n", false).toByteArray(), "one\ntwo\n");
    EXPECT_EQ(filter.filter("th\x02ree\n\x03", true).toByteArray(), "three\n");
    EXPECT_EQ(filter.dropped(), 2);
    EXPECT_EQ(filter.firstDroppedLine(), 3);

    // U+0101 is 01 01 in UTF-16.
    for (const QByteArray &wide : {QByteArray("\xFF\xFE<\0\x01\x01", 6), QByteArray("\xFE\xFF\0<\x01\x01", 6),
                                   QByteArray("<\0\x01\x01", 4), QByteArray("\0<\x01\x01", 4)}) {
        ControlCharacterFilter utf16;
        EXPECT_EQ(utf16.filter(wide, true).toByteArray(), wide);
        EXPECT_EQ(utf16.dropped(), 0);
    }
}

} // namespace

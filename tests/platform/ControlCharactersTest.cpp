#include "platform/ControlCharacters.h"

#include <QList>

#include <gtest/gtest.h>

namespace {

TEST(ControlCharactersTest, EveryControlCharacterBecomesAVisibleEscape)
{
    struct Case {
        QString text;
        QString expected;
    };
    const QList<Case> cases = {
        {QStringLiteral("\x1b[31mred\x1b[0m"), QStringLiteral("\\e[31mred\\e[0m")},
        {QStringLiteral("bell\a, back\b, tab\t, vt\v, ff\f"), QStringLiteral("bell\\a, back\\b, tab\\t, vt\\v, ff\\f")},
        {QStringLiteral("one\r\ntwo\rthree"), QStringLiteral("one\\r\\ntwo\\rthree")},
        {QString(QChar(0)) + QStringLiteral("\x01\x1f\x7f"), QStringLiteral("\\x00\\x01\\x1f\\x7f")},
        // C1: the 8-bit CSI and OSC and the next-line character.
        {QString(QChar(0x9b)) + QStringLiteral("2J") + QChar(0x9d) + QChar(0x85) + QChar(0x80),
         QStringLiteral("\\u009b2J\\u009d\\u0085\\u0080")},
        {QString(QChar(0x2028)) + QChar(0x2029), QStringLiteral("\\u2028\\u2029")},
    };
    for (const Case &test : cases) {
        EXPECT_EQ(ControlCharacters::escaped(test.text), test.expected) << test.expected.toStdString();
        EXPECT_TRUE(ControlCharacters::contains(test.text));
    }
}

TEST(ControlCharactersTest, PrintableTextIsUnchangedTabsAreKeptOnRequest)
{
    // Latin-1 letters just above C1, other scripts, emoji and backslashes.
    const QString printable = QStringLiteral("Beyonc\u00e9 \u00a0\u00ff \u65e5\u672c \U0001F3B5 C:\\Music\\a.mp3");
    EXPECT_EQ(ControlCharacters::escaped(printable), printable);
    EXPECT_FALSE(ControlCharacters::contains(printable));
    EXPECT_EQ(ControlCharacters::escaped(QString()), QString());
    EXPECT_EQ(ControlCharacters::escaped(QStringLiteral("a\tb\x1b"), ControlCharacters::Tabs::Kept),
              QStringLiteral("a\tb\\e"));
    EXPECT_FALSE(ControlCharacters::contains(QStringLiteral("a\tb"), ControlCharacters::Tabs::Kept));
}

TEST(ControlCharactersTest, LongLinesAreCutWithACountOfWhatWasLeftOut)
{
    EXPECT_EQ(ControlCharacters::cut(QStringLiteral("abcdef"), 6), QStringLiteral("abcdef"));
    EXPECT_EQ(ControlCharacters::cut(QStringLiteral("abcdefgh"), 6), QStringLiteral("abcdef... (2 more characters)"));
    // A surrogate pair is never split.
    const QString withEmoji = QStringLiteral("abcde\U0001F3B5xyz");
    EXPECT_EQ(ControlCharacters::cut(withEmoji, 6), QStringLiteral("abcde... (5 more characters)"));
    // Cut first, then escaped: the escapes do not count against the limit.
    const QString fault = QString(20000, QLatin1Char('\n'));
    const QString line = ControlCharacters::logLine(fault);
    EXPECT_EQ(line, QString(ControlCharacters::LogLineLimit, QLatin1Char('n')).replace(QLatin1String("n"), QLatin1String("\\n")) +
                        QStringLiteral("... (%1 more characters)").arg(20000 - ControlCharacters::LogLineLimit));
}

} // namespace

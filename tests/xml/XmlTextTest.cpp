#include "xml/XmlText.h"

#include <QRandomGenerator>
#include <QStringList>

#include <gtest/gtest.h>
#include <libxml/tree.h>

#include <memory>

namespace {

const XmlText::Escaping serialiserEscaping{
    .quotationMark = true, .tabsAndLineBreaks = true, .dropInvalidCharacters = true};

QString withUnits(std::initializer_list<char16_t> units)
{
    QString text;
    for (const char16_t unit : units)
        text.append(QChar(unit));
    return text;
}

// How libxml2's serialiser writes value as an attribute of a UTF-8 document.
QString serialisedByLibxml(const QString &value)
{
    std::unique_ptr<xmlDoc, decltype(&xmlFreeDoc)> document(xmlNewDoc(BAD_CAST "1.0"), xmlFreeDoc);
    xmlNodePtr root = xmlNewDocNode(document.get(), nullptr, BAD_CAST "e", nullptr);
    xmlDocSetRootElement(document.get(), root);
    xmlNewProp(root, BAD_CAST "a", reinterpret_cast<const xmlChar *>(value.toUtf8().constData()));
    xmlChar *memory = nullptr;
    int size = 0;
    xmlDocDumpFormatMemoryEnc(document.get(), &memory, &size, "UTF-8", 1);
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(memory), size);
    xmlFree(memory);
    const qsizetype start = text.indexOf(QLatin1String("a=\"")) + 3;
    return text.mid(start, text.lastIndexOf(QLatin1String("\"/>")) - start);
}

} // namespace

TEST(XmlText, TheCharactersXmlAllowsEndAtTheRightCodePoints)
{
    const std::pair<char32_t, bool> cases[] = {
        {0x00, false},   {0x08, false},   {0x09, true},     {0x0A, true},      {0x0B, false},
        {0x0D, true},    {0x1F, false},   {0x20, true},     {0x7F, true},      {0xD7FF, true},
        {0xD800, false}, {0xDFFF, false}, {0xE000, true},   {0xFFFD, true},    {0xFFFE, false},
        {0xFFFF, false}, {0x10000, true}, {0x10FFFF, true}, {0x110000, false},
    };
    for (const auto &[code, allowed] : cases)
        EXPECT_EQ(XmlText::isXmlChar(code), allowed) << std::hex << quint32(code);
}

TEST(XmlText, EachEscapingTouchesOnlyItsCharacters)
{
    const QString text = QStringLiteral("a&b<c>d\"e'f\tg\nh\ri");
    EXPECT_EQ(XmlText::escapeText(text), QStringLiteral("a&amp;b&lt;c&gt;d\"e'f\tg\nh\ri"));
    EXPECT_EQ(XmlText::escapeAttribute(text), QStringLiteral("a&amp;b&lt;c&gt;d&quot;e'f\tg\nh\ri"));
    EXPECT_EQ(XmlText::escaped(text, {.quotationMark = true, .apostrophe = true}),
              QStringLiteral("a&amp;b&lt;c&gt;d&quot;e&apos;f\tg\nh\ri"));
    EXPECT_EQ(XmlText::escaped(text, serialiserEscaping),
              QStringLiteral("a&amp;b&lt;c&gt;d&quot;e'f&#9;g&#10;h&#13;i"));
    // An entity already written is escaped again: the text is text, not markup.
    EXPECT_EQ(XmlText::escapeText(QStringLiteral("&amp;")), QStringLiteral("&amp;amp;"));
    // Callers tell a missing value from an empty one.
    EXPECT_TRUE(XmlText::escapeAttribute(QString()).isNull());
    EXPECT_FALSE(XmlText::escapeAttribute(QStringLiteral("")).isNull());
}

TEST(XmlText, InvalidCharactersAreDroppedOnlyWhenAsked)
{
    const QString pair = withUnits({0xD83C, 0xDFB5});      // U+1F3B5
    const QString lastPlane = withUnits({0xDBFF, 0xDFFF}); // U+10FFFF
    const QString text = u"a\u0001b" + QChar(0xD800) + u"c" + pair + QChar(0xDC00) + u"d" + QChar(0xFFFE) +
                         QChar(0xFFFF) + QChar(0xFFFD) + u"\u007f\u0085" + lastPlane + QChar(0xD83C);
    EXPECT_EQ(XmlText::escaped(text, {.dropInvalidCharacters = true}),
              u"abc" + pair + u"d" + QChar(0xFFFD) + u"\u007f\u0085" + lastPlane);
    EXPECT_EQ(XmlText::escapeText(text), text);
    // A low surrogate first, then a high one, is no pair.
    EXPECT_EQ(XmlText::escaped(withUnits({0xDC00, 0xD800, u'x'}), {.dropInvalidCharacters = true}), u"x");
    EXPECT_EQ(XmlText::escaped(QStringLiteral("\t\n\r"), {.dropInvalidCharacters = true}), u"\t\n\r");
}

// The artwork file was written by libxml2's serialiser: its escaping keeps
// those bytes for any value.
TEST(XmlText, SerialiserEscapingWritesWhatLibxmlWrites)
{
    QStringList values = {QStringLiteral(""),
                          QStringLiteral("plain"),
                          QStringLiteral("AC/DC & \"Friends\" <live>"),
                          QStringLiteral("it's\ta\nnew\r\nline"),
                          QStringLiteral("]]> &amp; %x; &#38;"),
                          QStringLiteral("Björk — 東京 \u0085\u2028"),
                          withUnits({0xD83C, 0xDFB5, u'!'})};
    QRandomGenerator random(20261209);
    const char16_t alphabet[] = {u'a', u'&', u'<', u'>', u'"', u'\'', u'\t', u'\n', u'\r', u' ', 0x7F, 0xE9, 0x20AC};
    for (int round = 0; round < 200; ++round) {
        QString value;
        for (int length = random.bounded(12); length > 0; --length)
            value.append(QChar(alphabet[random.bounded(int(std::size(alphabet)))]));
        values.append(value);
    }
    for (const QString &value : values)
        EXPECT_EQ(XmlText::escaped(value, serialiserEscaping), serialisedByLibxml(value)) << value.toStdString();
}

// The UTF-8 appender must give, for every escaping, the bytes of escaping to
// a QString and converting it; the library file's bytes depend on it.
TEST(XmlText, Utf8AppenderWritesTheBytesOfTheEscapedText)
{
    QStringList values = {QString(),
                          QStringLiteral(""),
                          QStringLiteral("plain ascii"),
                          QStringLiteral("a&b<c>d\"e'f\tg\nh\ri"),
                          QStringLiteral("Björk — 東京 \u0085\u2028\u00ff\u07ff\u0800\uffff"),
                          withUnits({0xD83C, 0xDFB5}),           // a pair alone
                          withUnits({0xDBFF, 0xDFFF, u'&'}),     // U+10FFFF, then a reference
                          withUnits({0xD800}),                   // unpaired high, alone
                          withUnits({u'x', 0xD800}),             // unpaired high, last
                          withUnits({0xDC00, u'x'}),             // unpaired low, first
                          withUnits({0xD800, u'&', 0xDC00}),     // halves parted by a reference
                          withUnits({0xD800, 0x0001, 0xDC00}),   // halves parted by a dropped one
                          withUnits({0xDC00, 0xD800, 0xDC00}),   // low, then a pair
                          withUnits({0x0000, 0x0008, 0x001F, 0xFFFE, 0xFFFD, 0xE000})};
    QRandomGenerator random(20261210);
    const char16_t alphabet[] = {u'a',   u'&',   u'<',   u'>',   u'"',   u'\'',  u'\t',  u'\n', u'\r',
                                 0x01,   0x7F,   0xE9,   0x7FF,  0x800,  0x20AC, 0xD7FF, 0xD800, 0xDBFF,
                                 0xDC00, 0xDFFF, 0xE000, 0xFFFD, 0xFFFE, 0xFFFF};
    for (int round = 0; round < 400; ++round) {
        QString value;
        for (int length = random.bounded(10); length > 0; --length)
            value.append(QChar(alphabet[random.bounded(int(std::size(alphabet)))]));
        values.append(value);
    }
    const XmlText::Escaping escapings[] = {{},
                                           {.quotationMark = true},
                                           {.apostrophe = true},
                                           {.tabsAndLineBreaks = true},
                                           {.dropInvalidCharacters = true},
                                           {.quotationMark = true, .apostrophe = true, .dropInvalidCharacters = true},
                                           serialiserEscaping};
    for (const XmlText::Escaping &escaping : escapings) {
        for (const QString &value : values) {
            QByteArray appended("prefix");
            XmlText::appendEscapedUtf8(appended, value, escaping);
            EXPECT_EQ(appended, "prefix" + XmlText::escaped(value, escaping).toUtf8())
                << QByteArray::fromRawData(reinterpret_cast<const char *>(value.utf16()), value.size() * 2)
                       .toHex()
                       .toStdString();
        }
    }
}

#include "xml/XmlPushParser.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <stdexcept>
#include <sys/stat.h>
#include <thread>

namespace {

// Every event with the line the parser gives during it, and where the file
// was read.
struct Recorder : XmlPushParser::Handler, XmlPushParser::FileObserver {
    XmlPushParser *parser = nullptr;
    QStringList events;
    std::function<void(int index)> onEvent;
    std::set<std::thread::id> readingThreads;
    qint64 bytesSeen = 0;
    bool ended = false;

    void record(const QString &event)
    {
        events.append(QStringLiteral("%1@%2").arg(event).arg(parser->line()));
        if (onEvent)
            onEvent(int(events.size()));
    }
    void startElement(QByteArrayView localName, QByteArrayView prefix, const XmlAttributes &attributes) override
    {
        QString event = u'<' + QString::fromUtf8(prefix) + u':' + QString::fromUtf8(localName);
        for (const XmlAttributes::Entry &entry : attributes.entries())
            event += u' ' + QString::fromUtf8(entry.prefix) + u':' + QString::fromUtf8(entry.localName) + u'=' +
                     QString::fromUtf8(entry.value);
        record(event);
    }
    void endElement() override { record(QStringLiteral(">")); }
    void characters(QByteArrayView text) override { record(QString::fromUtf8(text)); }

    void opened(const struct stat &) override {}
    void bytesRead(QByteArrayView bytes) override
    {
        readingThreads.insert(std::this_thread::get_id());
        bytesSeen += bytes.size();
    }
    void endReached() override { ended = true; }
};

struct Outcome {
    bool parsed = false;
    XmlPushParser::Failure failure;
    qint64 dropped = 0;
    int firstDroppedLine = 0;
};

class ParsedBothWays : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (std::thread::hardware_concurrency() < 2)
            GTEST_SKIP() << "one processor: every file is parsed on the calling thread";
    }

    QString write(const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(QStringLiteral("document.xml"));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        return path;
    }

    Outcome parse(Recorder &recorder, const QString &path, bool onHelperThread, bool dropControlCharacters = false)
    {
        XmlPushParser::Options options;
        options.parseOnHelperThread = onHelperThread;
        options.dropControlCharacters = dropControlCharacters;
        XmlPushParser parser(recorder, options);
        recorder.parser = &parser;
        Outcome outcome;
        outcome.parsed = parser.readFile(path, &recorder);
        outcome.failure = parser.failure();
        outcome.dropped = parser.droppedControlCharacters();
        outcome.firstDroppedLine = parser.firstDroppedControlCharacterLine();
        return outcome;
    }

    // Lines of elements with attributes, entities, prefixes and text, to
    // beyond the size parsed on a helper thread.
    static QByteArray document(const QByteArray &tail = "</list>", qint64 size = 3 * XmlPushParser::HelperThreadMinimumSize / 2)
    {
        QByteArray text = "<?xml version=\"1.0\"?>\n<list xmlns:p=\"urn:p\">\n";
        for (int index = 0; text.size() < size; ++index) {
            text += "  <p:item n=\"" + QByteArray::number(index) + "\" a=\"x&amp;y&#38;z\">text " +
                    QByteArray::number(index) + " &lt;&gt;</p:item><empty/>\n";
        }
        return text + tail;
    }

    QTemporaryDir m_dir;
};

bool operator==(const XmlPushParser::Failure &a, const XmlPushParser::Failure &b)
{
    return a.code == b.code && a.systemError == b.systemError && a.message == b.message && a.line == b.line &&
           a.column == b.column;
}

} // namespace

TEST_F(ParsedBothWays, TheHandlerSeesTheSameEventsAndLinesOnItsOwnThread)
{
    const QString path = write(document());
    Recorder here;
    Recorder helped;
    const Outcome hereOutcome = parse(here, path, false);
    const Outcome helpedOutcome = parse(helped, path, true);
    ASSERT_TRUE(hereOutcome.parsed);
    ASSERT_TRUE(helpedOutcome.parsed);
    EXPECT_GT(here.events.size(), 100000);
    EXPECT_TRUE(helped.events == here.events);
    EXPECT_TRUE(helped.ended);
    EXPECT_EQ(helped.bytesSeen, QFileInfo(path).size());
    // libxml2 read the file elsewhere; a small file is read here.
    EXPECT_EQ(here.readingThreads, std::set<std::thread::id>{std::this_thread::get_id()});
    EXPECT_FALSE(helped.readingThreads.count(std::this_thread::get_id()));
    Recorder small;
    ASSERT_TRUE(parse(small, write("<a>small</a>"), true).parsed);
    EXPECT_EQ(small.readingThreads, std::set<std::thread::id>{std::this_thread::get_id()});
}

TEST_F(ParsedBothWays, AFaultLateInTheFileEndsBothAtTheSamePlace)
{
    for (const QByteArray &tail : {QByteArray("<unclosed></list>"), QByteArray("<a>&undefined;</a></list>"),
                                   QByteArray("<a>\x01</a></list>")}) {
        const QString path = write(document(tail));
        Recorder here;
        Recorder helped;
        const Outcome hereOutcome = parse(here, path, false);
        const Outcome helpedOutcome = parse(helped, path, true);
        EXPECT_FALSE(helpedOutcome.parsed);
        EXPECT_TRUE(helpedOutcome.failure == hereOutcome.failure) << helpedOutcome.failure.message.toStdString();
        EXPECT_TRUE(helped.events == here.events);
        EXPECT_FALSE(helped.ended);
    }
    // A control character dropped is counted as it is when parsing here.
    const QString path = write(document("<a>\x01</a></list>"));
    Recorder here;
    Recorder helped;
    const Outcome hereOutcome = parse(here, path, false, true);
    const Outcome helpedOutcome = parse(helped, path, true, true);
    EXPECT_TRUE(helpedOutcome.parsed);
    EXPECT_EQ(helpedOutcome.dropped, 1);
    EXPECT_EQ(helpedOutcome.firstDroppedLine, hereOutcome.firstDroppedLine);
}

TEST_F(ParsedBothWays, AStopByTheHandlerEndsTheParseSoonWithTheLineOfItsEvent)
{
    // Large enough that the helper cannot have read it all when the
    // handler stops at the start.
    const QByteArray big = document("</list>", 16 * XmlPushParser::HelperThreadMinimumSize);
    const QString path = write(big);
    Recorder helped;
    XmlPushParser::Options options;
    options.parseOnHelperThread = true;
    XmlPushParser parser(helped, options);
    helped.parser = &parser;
    helped.onEvent = [&](int index) {
        if (index == 5000)
            parser.stop(QStringLiteral("enough"));
    };
    EXPECT_FALSE(parser.readFile(path, &helped));
    EXPECT_EQ(helped.events.size(), 5000);
    EXPECT_EQ(parser.failure().message, QStringLiteral("enough"));
    EXPECT_EQ(parser.failure().line, helped.events.last().section(u'@', -1).toInt());
    EXPECT_LT(helped.bytesSeen, big.size() / 2);
    EXPECT_FALSE(helped.ended);
}

TEST_F(ParsedBothWays, AHandlerExceptionLeavesTheReadAndTheParserReadsAgain)
{
    const QString path = write(document());
    Recorder helped;
    XmlPushParser::Options options;
    options.parseOnHelperThread = true;
    XmlPushParser parser(helped, options);
    helped.parser = &parser;
    helped.onEvent = [](int index) {
        if (index == 70000)
            throw std::runtime_error("handler");
    };
    EXPECT_THROW(parser.readFile(path, &helped), std::runtime_error);
    EXPECT_EQ(helped.events.size(), 70000);
    EXPECT_TRUE(parser.stopped());
    EXPECT_FALSE(helped.ended);

    helped.onEvent = nullptr;
    helped.events.clear();
    EXPECT_TRUE(parser.readFile(path, &helped));
    EXPECT_TRUE(helped.ended);
    EXPECT_GT(helped.events.size(), 100000);
}

#include "xml/XmlPushParser.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <sys/stat.h>

namespace {

struct HandlerFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Records the events; calls onStart at each start tag.
struct RecordingHandler : XmlPushParser::Handler {
    QStringList events;
    std::function<void(QByteArrayView localName, const XmlAttributes &attributes)> onStart;
    std::function<void(QByteArrayView text)> onText;

    void startElement(QByteArrayView localName, QByteArrayView prefix, const XmlAttributes &attributes) override
    {
        const QString prefixText = prefix.isNull() ? QString() : QString::fromUtf8(prefix) + u':';
        events.append(u'<' + prefixText + QString::fromUtf8(localName));
        if (onStart)
            onStart(localName, attributes);
    }
    void endElement() override { events.append(QStringLiteral(">")); }
    void characters(QByteArrayView text) override
    {
        events.append(QString::fromUtf8(text));
        if (onText)
            onText(text);
    }
};

QByteArray manyElements(int count)
{
    QByteArray text = "<list>";
    for (int index = 0; index < count; ++index)
        text += "<item n=\"" + QByteArray::number(index) + "\"/>";
    return text + "</list>";
}

} // namespace

TEST(XmlPushParser, AHandlerExceptionStopsTheParseAndLeavesTheReadAsItself)
{
    RecordingHandler handler;
    int starts = 0;
    handler.onStart = [&](QByteArrayView, const XmlAttributes &) {
        if (++starts == 3)
            throw HandlerFailure("third element");
    };
    XmlPushParser parser(handler, {});
    const QByteArray text = manyElements(10);
    EXPECT_THROW(parser.readBytes(text.constData(), text.size()), HandlerFailure);
    // No event reached the handler after the throw.
    EXPECT_EQ(starts, 3);
    EXPECT_EQ(handler.events.size(), 4); // <list <item > <item
    EXPECT_TRUE(parser.stopped());
    EXPECT_FALSE(parser.failure().message.contains(QStringLiteral("memory")));

    // The same parser reads the next document normally.
    handler.onStart = nullptr;
    handler.events.clear();
    const QByteArray next = "<a><b/></a>";
    EXPECT_TRUE(parser.readBytes(next.constData(), next.size()));
    EXPECT_EQ(handler.events,
              (QStringList{QStringLiteral("<a"), QStringLiteral("<b"), QStringLiteral(">"), QStringLiteral(">")}));
}

TEST(XmlPushParser, AnExceptionInALaterChunkOfAFileOrInTextLeavesTheRead)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.xml"));
    const QByteArray text = manyElements(100000); // several chunks
    ASSERT_GT(text.size(), 2 * XmlPushParser::ChunkSize);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
    file.close();

    RecordingHandler handler;
    handler.onStart = [](QByteArrayView, const XmlAttributes &attributes) {
        if (attributes.value("n") == QStringLiteral("90000"))
            throw std::bad_alloc();
    };
    XmlPushParser parser(handler, {XmlPushParser::Entities::Refuse, false, false});
    EXPECT_THROW(parser.readFile(path), std::bad_alloc);
    EXPECT_EQ(handler.events.size(), 90002);

    RecordingHandler textHandler;
    textHandler.onText = [](QByteArrayView text) {
        if (text.contains("stop"))
            throw HandlerFailure("text");
    };
    XmlPushParser textParser(textHandler, {});
    const QByteArray document = "<a>go<b>stop</b>never</a>";
    EXPECT_THROW(textParser.readBytes(document.constData(), document.size()), HandlerFailure);
    EXPECT_FALSE(textHandler.events.contains(QStringLiteral("never")));
}

TEST(XmlPushParser, StopAndTheDepthLimitAreFailuresWithTheirLine)
{
    RecordingHandler handler;
    XmlPushParser parser(handler, {});
    handler.onStart = [&](QByteArrayView localName, const XmlAttributes &) {
        if (localName == "bad")
            parser.stop(QStringLiteral("no bad elements"));
    };
    const QByteArray text = "<a>\n<ok/>\n<bad/>\n<after/></a>";
    EXPECT_FALSE(parser.readBytes(text.constData(), text.size()));
    EXPECT_EQ(parser.failure().message, QStringLiteral("no bad elements"));
    EXPECT_EQ(parser.failure().code, 0);
    EXPECT_EQ(parser.failure().line, 3);
    EXPECT_FALSE(handler.events.contains(QStringLiteral("<after")));

    handler.onStart = nullptr;
    const QByteArray deep = QByteArray("<a>").repeated(XmlPushParser::MaximumDepth + 1) +
                            QByteArray("</a>").repeated(XmlPushParser::MaximumDepth + 1);
    EXPECT_FALSE(parser.readBytes(deep.constData(), deep.size()));
    EXPECT_TRUE(parser.failure().message.startsWith(QStringLiteral("Excessive depth")))
        << parser.failure().message.toStdString();
}

TEST(XmlPushParser, AttributesAreFoundByTheNameAsWrittenAndHoldTheirCharacters)
{
    for (const auto entities : {XmlPushParser::Entities::Refuse, XmlPushParser::Entities::ExpandInternal}) {
        RecordingHandler handler;
        QStringList found;
        qsizetype longest = 0;
        handler.onStart = [&](QByteArrayView, const XmlAttributes &attributes) {
            for (const char *name : {"ID", "x:ID", "y:ID", "x:I", "Path"})
                found.append(attributes.value(name).value_or(QStringLiteral("-")));
            longest = attributes.longestValue();
        };
        XmlPushParser parser(handler, {entities, true, true});
        const QByteArray text = "<e xmlns:x=\"urn:x\" x:ID=\"pref\" ID=\"plain\" Path=\"a&amp;b&#38;c&lt;\"/>";
        ASSERT_TRUE(parser.readBytes(text.constData(), text.size()));
        EXPECT_EQ(found, (QStringList{QStringLiteral("plain"), QStringLiteral("pref"), QStringLiteral("-"),
                                      QStringLiteral("-"), QStringLiteral("a&b&c<")}));
        EXPECT_EQ(longest, 6);
    }
}

namespace {

struct ByteRecorder : XmlPushParser::FileObserver {
    qint64 size = -1;
    QByteArray bytes;
    bool ended = false;
    void opened(const struct stat &info) override { size = info.st_size; }
    void bytesRead(QByteArrayView piece) override { bytes.append(piece); }
    void endReached() override { ended = true; }
};

} // namespace

TEST(XmlPushParser, AnObserverSeesEveryByteReadAndTheEndOnlyOfAWholeParse)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("observed.xml"));
    const QByteArray text = manyElements(50000);
    ASSERT_GT(text.size(), 2 * XmlPushParser::ChunkSize);
    const auto parse = [&](const QByteArray &document, ByteRecorder &observer) {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(document);
        file.close();
        RecordingHandler handler;
        XmlPushParser parser(handler, {XmlPushParser::Entities::Refuse, false, false});
        return parser.readFile(path, &observer);
    };

    ByteRecorder whole;
    EXPECT_TRUE(parse(text, whole));
    EXPECT_EQ(whole.size, text.size());
    EXPECT_TRUE(whole.bytes == text);
    EXPECT_TRUE(whole.ended);

    // Not well-formed in its first chunk: the parse stops there, unended.
    ByteRecorder broken;
    EXPECT_FALSE(parse("<list><oops></list>" + text, broken));
    EXPECT_LT(broken.bytes.size(), text.size());
    EXPECT_FALSE(broken.ended);
}

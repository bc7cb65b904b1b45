#include "xml/CXHTMLDocument.h"
#include "xml/CXMLDocument.h"
#include "xml/CXMLElement.h"

#include "tests/support/TestFiles.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include <sys/resource.h>

namespace {

const QByteArray secret = QByteArrayLiteral("secret-content-4711");

// Every way in which the model parses text, each giving the document's full
// serialisation (or nothing when the parse fails).
QList<QByteArray> parseEveryWay(const QByteArray &text)
{
    QList<QByteArray> results;
    if (const CXMLDocumentPtr document = CXMLDocument::initWithData(text, 0, nullptr))
        results.append(document->XMLData() + document->rootElement()->stringValue().toUtf8());
    if (const CXMLDocumentPtr document = CXMLDocument::initWithXMLString(QString::fromUtf8(text), 0, nullptr))
        results.append(document->XMLData() + document->stringValue().toUtf8());
    if (const CXHTMLDocumentPtr document = CXHTMLDocument::initWithXHTMLString(QString::fromUtf8(text), 0, nullptr))
        results.append(document->XMLData() + document->stringValue().toUtf8());
    if (const CXHTMLDocumentPtr document = CXHTMLDocument::initWithXHTMLData(text, QStringConverter::Utf8, 0, nullptr))
        results.append(document->XMLData() + document->stringValue().toUtf8());
    return results;
}

QByteArray billionLaughs(const QByteArray &use)
{
    QByteArray text = "<?xml version=\"1.0\"?>\n<!DOCTYPE lolz [\n<!ENTITY lol0 \"lol\">\n";
    for (int level = 1; level <= 10; ++level) {
        text += "<!ENTITY lol" + QByteArray::number(level) + " \"";
        for (int i = 0; i < 10; ++i)
            text += "&lol" + QByteArray::number(level - 1) + ";";
        text += "\">\n";
    }
    return text + "]>\n" + use;
}

long peakResidentKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

TEST(CXMLSafety, ExternalEntityAndDTDOnALocalFileAreNotRead)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("secret.txt"));
    testsupport::writeFile(path, secret);
    const QByteArray url = QUrl::fromLocalFile(path).toEncoded();
    const QByteArray text = "<?xml version=\"1.0\"?>\n<!DOCTYPE a SYSTEM \"" + url + "\" [\n<!ENTITY e SYSTEM \"" + url +
                            "\">\n<!ENTITY f SYSTEM \"" + path.toUtf8() + "\">\n]>\n<a x=\"&e;\">&e;&f;<b>&e;</b></a>";
    const QList<QByteArray> results = parseEveryWay(text);
    EXPECT_FALSE(results.isEmpty());
    for (const QByteArray &result : results)
        EXPECT_FALSE(result.contains(secret)) << result.constData();

    // Nor when the document itself comes from a file.
    const QString documentPath = folder.filePath(QStringLiteral("doc.xml"));
    testsupport::writeFile(documentPath, text);
    if (const CXMLDocumentPtr document =
            CXMLDocument::initWithContentsOfURL(QUrl::fromLocalFile(documentPath), 0, nullptr)) {
        EXPECT_FALSE(document->XMLData().contains(secret));
    }
}

TEST(CXMLSafety, ExternalReferencesToAnHttpServerMakeNoConnection)
{
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    const QByteArray base = "http://127.0.0.1:" + QByteArray::number(server.serverPort());
    const QByteArray text = "<?xml version=\"1.0\"?>\n<!DOCTYPE a PUBLIC \"-//X//DTD X//EN\" \"" + base +
                            "/a.dtd\" [\n<!ENTITY e SYSTEM \"" + base + "/e.xml\">\n<!ENTITY % p SYSTEM \"" + base +
                            "/p.dtd\">\n%p;\n]>\n<a>&e;<xi:include xmlns:xi=\"http://www.w3.org/2001/XInclude\" href=\"" +
                            base + "/i.xml\"/><img src=\"" + base + "/i.png\"/></a>";
    parseEveryWay(text);
    CXHTMLDocument::initWithXHTMLString(
        QStringLiteral("<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Strict//EN\" \"%1/x.dtd\"><html><body>x</body></html>")
            .arg(QString::fromUtf8(base)),
        0, nullptr);
    EXPECT_FALSE(server.waitForNewConnection(200));
    EXPECT_FALSE(server.hasPendingConnections());
}

TEST(CXMLSafety, BillionLaughsFailsQuicklyAndSmall)
{
    const long before = peakResidentKilobytes();
    QElapsedTimer timer;
    timer.start();
    for (const QByteArray &use : {QByteArray("<lolz>&lol10;</lolz>"), QByteArray("<lolz a=\"&lol10;\"/>")}) {
        const QByteArray text = billionLaughs(use);
        ErrorRecord error;
        EXPECT_EQ(CXMLDocument::initWithData(text, 0, &error), nullptr) << use.constData();
        EXPECT_EQ(error.domain(), u"CXMLErrorDomain");
        EXPECT_EQ(error.code(), 1);
        EXPECT_EQ(CXMLDocument::initWithXMLString(QString::fromLatin1(text), 0, &error), nullptr);
        EXPECT_EQ(error.code(), 1);
    }
    // Generous bounds: the parse stops at the first over-large expansion.
    EXPECT_LT(timer.elapsed(), 5000);
    EXPECT_LT(peakResidentKilobytes() - before, 50 * 1024);
}

TEST(CXMLSafety, QuadraticExpansionIsRefused)
{
    // One 100 kB entity referenced 20 000 times stands for 2 GB of text.
    QByteArray text = "<?xml version=\"1.0\"?>\n<!DOCTYPE a [<!ENTITY big \"" + QByteArray(100000, 'x') + "\">]>\n<a>";
    for (int i = 0; i < 20000; ++i)
        text += "&big;";
    text += "</a>";
    ErrorRecord error;
    EXPECT_EQ(CXMLDocument::initWithData(text, 0, &error), nullptr);
    EXPECT_EQ(error.domain(), u"CXMLErrorDomain");
    EXPECT_EQ(error.localizedDescription(), u"Entity references expand beyond the size this document may have.");
}

TEST(CXMLSafety, ModestInternalEntitiesStillParse)
{
    const CXMLDocumentPtr document = CXMLDocument::initWithData(
        QByteArrayLiteral("<?xml version=\"1.0\"?>\n<!DOCTYPE a [<!ENTITY who \"world\">]>\n<a>hello &who; &amp; all</a>"),
        0, nullptr);
    ASSERT_NE(document, nullptr);
    // The reference stays a node of its own; the model shows it as a leaf.
    const CXMLElementPtr root = document->rootElement();
    EXPECT_EQ(root->childCount(), 3);
    EXPECT_EQ(root->childAtIndex(1)->kind(), CXMLNode::EntityReferenceKind);
    EXPECT_EQ(root->childAtIndex(1)->name(), u"who");
    EXPECT_EQ(root->childAtIndex(1)->childCount(), 0);
    EXPECT_EQ(root->XMLString(), u"<a>hello &who; &amp; all</a>");
    EXPECT_EQ(document->childAtIndex(0)->kind(), CXMLNode::DTDKind);
    EXPECT_EQ(document->childCount(), 2);
}

TEST(CXMLSafety, DeepNestingIsHandled)
{
    QByteArray text;
    for (int i = 0; i < 100000; ++i)
        text += "<d>";
    ErrorRecord error;
    const CXMLDocumentPtr document = CXMLDocument::initWithData(text, 0, &error);
    if (document) {
        EXPECT_FALSE(document->stringValue().isNull());
        EXPECT_FALSE(document->XMLData().isEmpty());
    }
    const CXHTMLDocumentPtr html = CXHTMLDocument::initWithXHTMLData(text, QStringConverter::Utf8, 0, nullptr);
    ASSERT_NE(html, nullptr);
    EXPECT_FALSE(html->nodesForXPath(QStringLiteral("//d"), nullptr)->isEmpty());
}

TEST(CXMLSafety, HostileNodeKindsAreWrappedNotThrown)
{
    const CXMLDocumentPtr document = CXMLDocument::initWithData(
        QByteArrayLiteral("<?xml version=\"1.0\"?>\n<!DOCTYPE a [<!ENTITY e \"v\"><!ELEMENT a ANY>]>\n"
                          "<?top x?><a>&e;<?inner y?><!--c--></a>"),
        0, nullptr);
    ASSERT_NE(document, nullptr);
    const std::optional<CXMLNodeList> all = document->nodesForXPath(QStringLiteral("//node() | /node()"), nullptr);
    ASSERT_TRUE(all.has_value());
    for (const CXMLNodePtr &node : *all) {
        EXPECT_FALSE(node->description().isEmpty());
        for (const CXMLNodePtr &child : node->children())
            EXPECT_GE(child->kind(), 1);
    }
}

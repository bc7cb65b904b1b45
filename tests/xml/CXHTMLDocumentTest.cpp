#include "xml/CXHTMLDocument.h"
#include "xml/CXMLElement.h"

#include <gtest/gtest.h>

TEST(CXHTMLDocument, StringFormMakesTheFirstChildOfTheBodyTheRoot)
{
    ErrorRecord error(QStringLiteral("stale"), 1);
    const CXHTMLDocumentPtr document = CXHTMLDocument::initWithXHTMLString(
        QStringLiteral("<html><head><title>T</title></head><body><div id=\"main\"><p>Hi <br>there</div><p>after</body></html>"),
        0, &error);
    ASSERT_NE(document, nullptr);
    EXPECT_TRUE(error.isNull());
    const CXMLElementPtr root = document->rootElement();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->name(), u"div");
    EXPECT_EQ(root->attributeForName(QStringLiteral("id"))->stringValue(), u"main");
    EXPECT_EQ(root->parent(), document);
    // The rest of the page is gone.
    EXPECT_FALSE(document->XMLString().contains(u"after"));
    EXPECT_TRUE(document->nodesForXPath(QStringLiteral("//title"), nullptr)->isEmpty());
    EXPECT_TRUE(document->description().startsWith(u"<CXHTMLDocument 0x"));
}

TEST(CXHTMLDocument, PageWithoutBodyChildrenKeepsItsHtmlRoot)
{
    const CXHTMLDocumentPtr empty =
        CXHTMLDocument::initWithXHTMLString(QStringLiteral("<html><head><title>T</title></head><body></body></html>"), 0,
                                            nullptr);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->rootElement()->name(), u"html");

    const CXHTMLDocumentPtr headOnly =
        CXHTMLDocument::initWithXHTMLString(QStringLiteral("<html><head><title>T</title></head></html>"), 0, nullptr);
    ASSERT_NE(headOnly, nullptr);
    EXPECT_EQ(headOnly->rootElement()->name(), u"html");
    EXPECT_EQ(headOnly->rootElement()->stringValue(), u"T");
}

TEST(CXHTMLDocument, StringFormIsUtf8)
{
    const CXHTMLDocumentPtr document =
        CXHTMLDocument::initWithXHTMLString(QStringLiteral("<p>caf\u00e9 \u263a</p>"), 0, nullptr);
    ASSERT_NE(document, nullptr);
    EXPECT_EQ(document->rootElement()->stringValue(), QStringLiteral("caf\u00e9 \u263a"));
}

TEST(CXHTMLDocument, DataFormKeepsThePageWithoutRerooting)
{
    ErrorRecord error(QStringLiteral("stale"), 1);
    const CXHTMLDocumentPtr document = CXHTMLDocument::initWithXHTMLData(
        QByteArrayLiteral("<html>\n  <body>\n    <div>caf\xe9</div>\n  </body>\n</html>"), QStringConverter::Latin1, 0,
        &error);
    ASSERT_NE(document, nullptr);
    EXPECT_TRUE(error.isNull());
    const CXMLElementPtr root = document->rootElement();
    EXPECT_EQ(root->name(), u"html");
    ASSERT_EQ(root->childCount(), 1);
    const CXMLNodePtr body = root->childAtIndex(0);
    EXPECT_EQ(body->name(), u"body");
    // libxml2 drops blank text between html and body; inside body it keeps it.
    ASSERT_EQ(body->childCount(), 3);
    EXPECT_EQ(body->childAtIndex(1)->name(), u"div");
    EXPECT_EQ(body->childAtIndex(1)->stringValue(), QStringLiteral("caf\u00e9"));
    EXPECT_EQ(body->rootDocument(), document);
}

TEST(CXHTMLDocument, DataFormFailureHasNoMessage)
{
    ErrorRecord error;
    EXPECT_EQ(CXHTMLDocument::initWithXHTMLData(QByteArray(), QStringConverter::Utf8, 0, &error), nullptr);
    EXPECT_EQ(error.domain(), u"CXMLErrorDomain");
    EXPECT_EQ(error.code(), -1);
    EXPECT_TRUE(error.details().isEmpty());
}

TEST(CXHTMLDocument, KeptWrappersAreInvalidatedWithTheDocument)
{
    CXMLNodePtr kept;
    {
        const CXHTMLDocumentPtr document =
            CXHTMLDocument::initWithXHTMLString(QStringLiteral("<div><span>x</span></div>"), 0, nullptr);
        ASSERT_NE(document, nullptr);
        kept = document->rootElement()->childAtIndex(0);
        EXPECT_EQ(kept->name(), u"span");
    }
    EXPECT_EQ(kept->node(), nullptr);
}

#include "xml/CXMLDocument.h"
#include "xml/CXMLElement.h"

#include "tests/support/TestFiles.h"

#include <libxml/tree.h>

#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

TEST(CXMLDocumentParsing, BytesWithOnlyACommentFailInTheErrorDomain)
{
    ErrorRecord error(QStringLiteral("stale"), 5);
    const CXMLDocumentPtr document = CXMLDocument::initWithData(QByteArrayLiteral("<!-- only a comment -->"), 0, &error);
    EXPECT_EQ(document, nullptr);
    EXPECT_EQ(error.domain(), u"CXMLErrorDomain");
    EXPECT_EQ(error.code(), 1);
    EXPECT_FALSE(error.localizedDescription().isEmpty());
}

TEST(CXMLDocumentParsing, EmptyBytesFailWithUnknownError)
{
    ErrorRecord error;
    EXPECT_EQ(CXMLDocument::initWithData(QByteArray(), 0, &error), nullptr);
    EXPECT_EQ(error.domain(), u"CXMLErrorDomain");
    EXPECT_EQ(error.code(), 1);
    EXPECT_EQ(error.localizedDescription(), u"Unknown error");
    EXPECT_EQ(CXMLDocument::initWithData(QByteArray(), 0, nullptr), nullptr);
}

TEST(CXMLDocumentParsing, MalformedBytesRecoverWhenARootElementResults)
{
    ErrorRecord error(QStringLiteral("stale"), 5);
    const CXMLDocumentPtr document = CXMLDocument::initWithData(QByteArrayLiteral("<a><b>text</a>"), 0, &error);
    ASSERT_NE(document, nullptr);
    EXPECT_TRUE(error.isNull());
    EXPECT_EQ(document->rootElement()->name(), u"a");
    EXPECT_EQ(document->rootElement()->stringValue(), u"text");
}

TEST(CXMLDocumentParsing, MalformedStringFailsWithLibxml2Message)
{
    ErrorRecord error;
    EXPECT_EQ(CXMLDocument::initWithXMLString(QStringLiteral("<a><b></a>"), 0, &error), nullptr);
    EXPECT_EQ(error.domain(), u"CXMLErrorDomain");
    EXPECT_EQ(error.code(), 1);
    EXPECT_TRUE(error.localizedDescription().contains(u"Premature end of data"))
        << error.localizedDescription().toStdString();
    EXPECT_FALSE(error.localizedDescription().endsWith(u'\n'));
}

TEST(CXMLDocumentParsing, ErrorMessageIsNotStaleAfterASuccessfulParse)
{
    ErrorRecord error;
    EXPECT_EQ(CXMLDocument::initWithXMLString(QStringLiteral("<a>"), 0, &error), nullptr);
    ASSERT_TRUE(CXMLDocument::initWithXMLString(QStringLiteral("<a/>"), 0, nullptr));
    EXPECT_EQ(CXMLDocument::initWithData(QByteArray(), 0, &error), nullptr);
    EXPECT_EQ(error.localizedDescription(), u"Unknown error");
}

TEST(CXMLDocumentParsing, StringIsUtf8WhateverItsDeclarationSays)
{
    const CXMLDocumentPtr document = CXMLDocument::initWithXMLString(
        QStringLiteral("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>\u00e9\u263a</a>"), 0, nullptr);
    ASSERT_NE(document, nullptr);
    EXPECT_EQ(document->rootElement()->stringValue(), QStringLiteral("\u00e9\u263a"));
}

TEST(CXMLDocumentParsing, BytesInTheGivenEncoding)
{
    const QByteArray latin1("<a>\xe9</a>");
    const CXMLDocumentPtr document = CXMLDocument::initWithData(latin1, QStringConverter::Latin1, 0, nullptr);
    ASSERT_NE(document, nullptr);
    EXPECT_EQ(document->rootElement()->stringValue(), QStringLiteral("\u00e9"));

    QStringEncoder toUtf16(QStringConverter::Utf16LE);
    const QByteArray utf16 = toUtf16(QStringLiteral("<a>\u263a</a>"));
    const CXMLDocumentPtr wide = CXMLDocument::initWithData(utf16, QStringConverter::Utf16LE, 0, nullptr);
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(wide->rootElement()->stringValue(), QStringLiteral("\u263a"));
}

TEST(CXMLDocumentParsing, FromAFileURL)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("reply.xml"));
    testsupport::writeFile(path, QByteArrayLiteral("<reply><v>42</v></reply>"));
    ErrorRecord error(QStringLiteral("stale"), 5);
    const CXMLDocumentPtr document = CXMLDocument::initWithContentsOfURL(QUrl::fromLocalFile(path), 0, &error);
    ASSERT_NE(document, nullptr);
    EXPECT_TRUE(error.isNull());
    EXPECT_EQ(document->rootElement()->stringValue(), u"42");
}

TEST(CXMLDocumentParsing, UnreadableURLsFailWithTheReadingError)
{
    QTemporaryDir folder;
    ErrorRecord error;
    EXPECT_EQ(CXMLDocument::initWithContentsOfURL(QUrl::fromLocalFile(folder.filePath(QStringLiteral("none.xml"))), 0,
                                                  &error),
              nullptr);
    EXPECT_EQ(error.domain(), CXMLDocument::ReadErrorDomain);
    EXPECT_EQ(error.code(), QFileDevice::OpenError);
    EXPECT_TRUE(error.localizedDescription().contains(u"none.xml"));

    EXPECT_EQ(CXMLDocument::initWithContentsOfURL(QUrl(QStringLiteral("http://127.0.0.1:9/x.xml")), 0, &error),
              nullptr);
    EXPECT_EQ(error.domain(), CXMLDocument::ReadErrorDomain);

    // A readable file that is not XML gives the parse error.
    const QString path = folder.filePath(QStringLiteral("empty.xml"));
    testsupport::writeFile(path, QByteArray());
    EXPECT_EQ(CXMLDocument::initWithContentsOfURL(QUrl::fromLocalFile(path), 0, &error), nullptr);
    EXPECT_EQ(error.domain(), u"CXMLErrorDomain");
}

TEST(CXMLDocumentSerialisation, XMLDataHasTheDeclarationAndXMLStringNot)
{
    const CXMLDocumentPtr document = CXMLDocument::initWithData(QByteArrayLiteral("<a><b/>\xc3\xa9</a>"), 0, nullptr);
    ASSERT_NE(document, nullptr);
    // Bytes are read as UTF-8 unless said otherwise, and the document says so.
    EXPECT_EQ(document->XMLData(), QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<a><b/>\xc3\xa9</a>\n"));
    EXPECT_EQ(document->XMLString(), QStringLiteral("<a><b/>\u00e9</a>"));
}

TEST(CXMLDocumentSerialisation, DocumentsFromTextOrCreationHaveNoEncodingInTheirDeclaration)
{
    const CXMLDocumentPtr parsed = CXMLDocument::initWithXMLString(QStringLiteral("<a>\u00e9</a>"), 0, nullptr);
    ASSERT_NE(parsed, nullptr);
    EXPECT_EQ(parsed->XMLData(), QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<a>\xc3\xa9</a>\n"));
    const CXMLDocumentPtr created =
        CXMLNode::documentWithRootElement(CXMLNode::elementWithNameAndStringValue(QStringLiteral("a"), QStringLiteral("\u00e9")));
    EXPECT_EQ(created->XMLData(), QByteArray("<?xml version=\"1.0\"?>\n<a>&#xE9;</a>\n"));
}

TEST(CXMLDocumentPool, HoldsEveryWrapperHandedOutUntilTheDocumentGoes)
{
    std::weak_ptr<CXMLNode> watched;
    {
        const CXMLDocumentPtr document = CXMLDocument::initWithData(QByteArrayLiteral("<a><b/><c/></a>"), 0, nullptr);
        ASSERT_NE(document, nullptr);
        EXPECT_TRUE(document->nodePool().empty());
        watched = document->rootElement()->childAtIndex(1);
        // Nobody else holds it: the pool keeps it alive.
        EXPECT_FALSE(watched.expired());
        EXPECT_EQ(document->nodePool().size(), 2u);
        EXPECT_EQ(document->node()->_private, document.get());
    }
    EXPECT_TRUE(watched.expired());
}

TEST(CXMLDocumentPool, HoldsEachWrapperOnce)
{
    const CXMLDocumentPtr document = CXMLDocument::initWithData(QByteArrayLiteral("<a><b/></a>"), 0, nullptr);
    ASSERT_NE(document, nullptr);
    for (int i = 0; i < 3; ++i) {
        document->rootElement()->children();
        document->nodesForXPath(QStringLiteral("//*"), QMap<QString, QString>(), nullptr);
    }
    EXPECT_EQ(document->nodePool().size(), 2u);
}

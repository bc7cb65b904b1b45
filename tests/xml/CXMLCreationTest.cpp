#include "platform/ProgrammingError.h"
#include "xml/CXMLDocument.h"
#include "xml/CXMLElement.h"
#include "xml/CXMLNamespaceNode.h"

#include "tests/xml/NodePoolMembership.h"

#include <libxml/tree.h>

#include <gtest/gtest.h>

namespace {

QString messageOf(const std::function<void()> &operation, QString *unit = nullptr)
{
    try {
        operation();
    } catch (const ProgrammingError &error) {
        if (unit)
            *unit = error.unit();
        return error.message();
    }
    return {};
}

} // namespace

TEST(CXMLCreation, BuildAndSerialiseATree)
{
    const CXMLElementPtr envelope =
        CXMLNode::elementWithName(QStringLiteral("Envelope"), QStringLiteral("http://schemas.xmlsoap.org/soap/envelope/"));
    const CXMLElementPtr body = envelope->subelement(QStringLiteral("Body"));
    body->addChild(CXMLNode::elementWithNameAndStringValue(QStringLiteral("Value"), QStringLiteral("a < b")));
    body->setStringValue(QStringLiteral("tail"));
    EXPECT_EQ(envelope->XMLString(),
              u"<Envelope xmlns=\"http://schemas.xmlsoap.org/soap/envelope/\"><Body><Value>a &lt; b</Value>tail</Body>"
              u"</Envelope>");
    EXPECT_EQ(envelope->URI(), u"http://schemas.xmlsoap.org/soap/envelope/");
    // Body was made without namespace; libxml2 does not put it in its parent's.
    EXPECT_TRUE(body->URI().isNull());
    EXPECT_EQ(body->parent(), envelope);
    EXPECT_EQ(envelope->childAtIndex(0), body);

    const CXMLDocumentPtr document = CXMLNode::documentWithRootElement(envelope);
    EXPECT_EQ(document->rootElement(), envelope);
    EXPECT_TRUE(inPool(document, envelope));
    EXPECT_EQ(envelope->rootDocument(), document);
    EXPECT_EQ(body->rootDocument(), document);
    EXPECT_TRUE(document->XMLData().startsWith("<?xml version=\"1.0\"?>\n<Envelope"));
}

TEST(CXMLCreation, ElementSetStringValueAppendsText)
{
    const CXMLElementPtr element = CXMLNode::elementWithName(QStringLiteral("e"));
    element->subelement(QStringLiteral("k"));
    element->setStringValue(QStringLiteral("one"));
    element->setStringValue(QStringLiteral("two"));
    EXPECT_EQ(element->XMLString(), u"<e><k/>onetwo</e>");
    EXPECT_EQ(element->stringValue(), u"onetwo");
    QString unit;
    EXPECT_EQ(messageOf([&] { element->setStringValue(QString()); }, &unit),
              u"CXMLElement setStringValue should not be null");
    EXPECT_EQ(unit, u"CXMLElement_CreationExtensions");
    element->setStringValue(QStringLiteral(""));
}

TEST(CXMLCreation, AddChildRefusesNodesOfADocument)
{
    const CXMLDocumentPtr document = CXMLDocument::initWithData(QByteArrayLiteral("<a><b/></a>"), 0, nullptr);
    const CXMLElementPtr loose = CXMLNode::elementWithName(QStringLiteral("loose"));
    const CXMLNodePtr b = document->rootElement()->childAtIndex(0);
    QString unit;
    EXPECT_EQ(messageOf([&] { loose->addChild(b); }, &unit),
              u"Cannot addChild with a node that already is part of a document. Copy it first!");
    EXPECT_EQ(unit, u"CXMLElement_CreationExtensions");
    EXPECT_EQ(document->rootElement()->XMLString(), u"<a><b/></a>");

    // A copy may be added, into the document too.
    document->rootElement()->addChild(b->copyWithZone());
    EXPECT_EQ(document->rootElement()->XMLString(), u"<a><b/><b/></a>");
    EXPECT_EQ(document->rootElement()->childAtIndex(1)->rootDocument(), document);
}

TEST(CXMLCreation, AddChildRefusesMissingNodesAndCycles)
{
    const CXMLElementPtr a = CXMLNode::elementWithName(QStringLiteral("a"));
    const CXMLElementPtr b = a->subelement(QStringLiteral("b"));
    EXPECT_EQ(messageOf([&] { a->addChild(nullptr); }), u"_node should not be null");
    EXPECT_EQ(messageOf([&] { a->addChild(CXMLNode::namespaceWithName(QStringLiteral("p"), QStringLiteral("urn:p"))); }),
              u"_node should not be null");
    EXPECT_FALSE(messageOf([&] { b->addChild(a); }).isEmpty());
    EXPECT_FALSE(messageOf([&] { a->addChild(a); }).isEmpty());
    EXPECT_EQ(a->XMLString(), u"<a><b/></a>");
}

TEST(CXMLCreation, ChildWrappersOfAFreedLooseTreeAreInvalidated)
{
    CXMLElementPtr child;
    {
        const CXMLElementPtr parent = CXMLNode::elementWithName(QStringLiteral("parent"));
        child = parent->subelement(QStringLiteral("child"));
    }
    EXPECT_THROW(child->kind(), ProgrammingError);
}

TEST(CXMLCreation, WrappersOfAnAddedLooseTreeGoWithTheDocument)
{
    CXMLElementPtr grandchild;
    CXMLElementPtr root;
    {
        const CXMLDocumentPtr document = CXMLDocument::initWithData(QByteArrayLiteral("<a/>"), 0, nullptr);
        const CXMLElementPtr branch = CXMLNode::elementWithName(QStringLiteral("branch"));
        grandchild = branch->subelement(QStringLiteral("leaf"));
        document->rootElement()->addChild(branch);
        EXPECT_EQ(grandchild->rootDocument(), document);

        const CXMLElementPtr top = CXMLNode::elementWithName(QStringLiteral("top"));
        const CXMLDocumentPtr built = CXMLNode::documentWithRootElement(top);
        root = top->subelement(QStringLiteral("inner"));
    }
    EXPECT_THROW(grandchild->kind(), ProgrammingError);
    EXPECT_THROW(root->kind(), ProgrammingError);
}

TEST(CXMLCreation, MergedTextChildLeavesAnInvalidatedWrapper)
{
    const CXMLDocumentPtr source = CXMLDocument::initWithData(QByteArrayLiteral("<s>more</s>"), 0, nullptr);
    const CXMLNodePtr text = source->rootElement()->childAtIndex(0)->copyWithZone();
    const CXMLElementPtr element = CXMLNode::elementWithNameAndStringValue(QStringLiteral("e"), QStringLiteral("some"));
    element->addChild(text);
    EXPECT_EQ(element->XMLString(), u"<e>somemore</e>");
    EXPECT_EQ(element->childCount(), 1);
    EXPECT_THROW(text->kind(), ProgrammingError);
}

TEST(CXMLCreation, ReplacedAttributeWrapperIsInvalidated)
{
    const CXMLDocumentPtr source =
        CXMLDocument::initWithData(QByteArrayLiteral("<s k=\"new\"/>"), 0, nullptr);
    const CXMLNodePtr newAttribute =
        source->rootElement()->attributeForName(QStringLiteral("k"))->copyWithZone();
    const CXMLDocumentPtr target = CXMLDocument::initWithData(QByteArrayLiteral("<t k=\"old\"/>"), 0, nullptr);
    const CXMLElementPtr t = target->rootElement();
    const CXMLNodePtr oldAttribute = t->attributeForName(QStringLiteral("k"));
    t->addChild(newAttribute);
    EXPECT_EQ(t->XMLString(), u"<t k=\"new\"/>");
    EXPECT_EQ(t->attributeForName(QStringLiteral("k")), newAttribute);
    EXPECT_THROW(oldAttribute->kind(), ProgrammingError);
}

TEST(CXMLCreation, DocumentAddAndInsertChild)
{
    const CXMLDocumentPtr document = CXMLNode::document();
    EXPECT_EQ(document->rootElement(), nullptr);
    const CXMLElementPtr root = CXMLNode::elementWithName(QStringLiteral("root"));
    document->addChild(root);
    const CXMLNodePtr instruction =
        CXMLNode::processingInstructionWithName(QStringLiteral("target"), QStringLiteral("data"));
    EXPECT_EQ(instruction->kind(), CXMLNode::ProcessingInstructionKind);
    document->insertChild(instruction, 0);
    EXPECT_EQ(document->rootElement(), root);
    EXPECT_TRUE(inPool(document, root));
    EXPECT_TRUE(inPool(document, instruction));
    EXPECT_EQ(document->XMLData(), QByteArray("<?xml version=\"1.0\"?>\n<?target data?>\n<root/>\n"));
    EXPECT_EQ(root->rootDocument(), document);
    EXPECT_EQ(root->parent(), document);
    EXPECT_FALSE(messageOf([&] { document->insertChild(CXMLNode::elementWithName(QStringLiteral("x")), 5); }).isEmpty());
    document->insertChild(CXMLNode::elementWithName(QStringLiteral("last")), 2);
    EXPECT_EQ(document->childAtIndex(2)->name(), u"last");
}

TEST(CXMLCreation, AddNamespaceDeclaresAndUsesIt)
{
    const CXMLElementPtr element = CXMLNode::elementWithName(QStringLiteral("Body"));
    element->addNamespace(
        CXMLNode::namespaceWithName(QStringLiteral("soap"), QStringLiteral("http://schemas.xmlsoap.org/soap/envelope/")));
    EXPECT_EQ(element->name(), u"soap:Body");
    EXPECT_EQ(element->XMLString(), u"<soap:Body xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"/>");
    EXPECT_EQ(element->namespaces().size(), 1);
    // The same declaration again is reused; another URI for the prefix is refused.
    element->addNamespace(
        CXMLNode::namespaceWithName(QStringLiteral("soap"), QStringLiteral("http://schemas.xmlsoap.org/soap/envelope/")));
    EXPECT_EQ(element->namespaces().size(), 1);
    EXPECT_FALSE(messageOf([&] {
                     element->addNamespace(CXMLNode::namespaceWithName(QStringLiteral("soap"), QStringLiteral("urn:x")));
                 }).isEmpty());
}

TEST(CXMLCreation, CreationFailuresAreProgrammingErrors)
{
    QString unit;
    EXPECT_EQ(messageOf([&] { CXMLNode::processingInstructionWithName(QString(), QStringLiteral("x")); }, &unit),
              u"xmlNewPI failed");
    EXPECT_EQ(unit, u"CXMLNode_CreationExtensions");
    EXPECT_FALSE(messageOf([&] { CXMLNode::elementWithName(QString()); }).isEmpty());
}

TEST(CXMLCreation, DocumentWithRootElementRefusesAnElementOfADocument)
{
    const CXMLDocumentPtr document = CXMLDocument::initWithData(QByteArrayLiteral("<a/>"), 0, nullptr);
    EXPECT_EQ(messageOf([&] { CXMLNode::documentWithRootElement(document->rootElement()); }),
              u"Cannot addChild with a node that already is part of a document. Copy it first!");
}

#include "platform/ProgrammingError.h"
#include "xml/CXMLDocument.h"
#include "xml/CXMLElement.h"
#include "xml/CXMLNamespaceNode.h"

#include "tests/xml/NodePoolMembership.h"

#include <libxml/tree.h>

#include <gtest/gtest.h>

namespace {

const char envelope[] =
    "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\">"
    "<soap:Body><GetZoneResponse xmlns=\"http://example.org/svc\">"
    "<Result a=\"1\">first <b>bold</b> last</Result><!-- note --><Other/>"
    "</GetZoneResponse></soap:Body></soap:Envelope>";

CXMLDocumentPtr parse(const char *text)
{
    ErrorRecord error;
    CXMLDocumentPtr document = CXMLDocument::initWithData(QByteArray(text), 0, &error);
    EXPECT_TRUE(document) << error.localizedDescription().toStdString();
    return document;
}

CXMLElementPtr asElement(const CXMLNodePtr &node)
{
    return std::dynamic_pointer_cast<CXMLElement>(node);
}

} // namespace

TEST(CXMLNodeNames, PrefixedElementHasQualifiedNameLocalNameAndPrefix)
{
    const CXMLDocumentPtr document = parse(envelope);
    const CXMLNodePtr body = document->rootElement()->childAtIndex(0);
    EXPECT_EQ(body->name(), u"soap:Body");
    EXPECT_EQ(body->localName(), u"Body");
    EXPECT_EQ(body->prefix(), u"soap");
    EXPECT_EQ(body->URI(), u"http://schemas.xmlsoap.org/soap/envelope/");
}

TEST(CXMLNodeNames, DefaultNamespaceGivesEmptyPrefixAndItsURI)
{
    const CXMLDocumentPtr document = parse(envelope);
    const CXMLNodePtr response = document->rootElement()->childAtIndex(0)->childAtIndex(0);
    EXPECT_EQ(response->name(), u"GetZoneResponse");
    EXPECT_EQ(response->prefix(), u"");
    EXPECT_FALSE(response->prefix().isNull());
    EXPECT_EQ(response->URI(), u"http://example.org/svc");
}

TEST(CXMLNodeNames, KindsFollowLibxml2TypeNumbers)
{
    const CXMLDocumentPtr document = parse("<a x=\"1\">t<![CDATA[c]]><!--m--><?pi data?></a>");
    const CXMLElementPtr root = document->rootElement();
    EXPECT_EQ(document->kind(), CXMLNode::DocumentKind);
    EXPECT_EQ(root->kind(), CXMLNode::ElementKind);
    EXPECT_EQ(root->prefix(), u"");
    EXPECT_TRUE(root->URI().isNull());
    EXPECT_EQ(root->attributeForName(QStringLiteral("x"))->kind(), CXMLNode::AttributeKind);
    const CXMLNodeList children = root->children();
    ASSERT_EQ(children.size(), 4);
    EXPECT_EQ(children[0]->kind(), CXMLNode::TextKind);
    EXPECT_EQ(children[1]->kind(), CXMLNode::CDATASectionKind);
    EXPECT_EQ(children[2]->kind(), CXMLNode::CommentKind);
    EXPECT_EQ(children[3]->kind(), CXMLNode::ProcessingInstructionKind);
    EXPECT_EQ(children[3]->name(), u"pi");
    // Text nodes carry libxml2's name for them.
    EXPECT_EQ(children[0]->name(), u"text");
    EXPECT_TRUE(document->name().isNull());
}

TEST(CXMLNodeStringValue, ConcatenatesTextOfDescendantsInDocumentOrder)
{
    const CXMLDocumentPtr document = parse("<r>one<c>two<d>deep</d></c><!--skip-->three<![CDATA[ four]]></r>");
    EXPECT_EQ(document->rootElement()->stringValue(), u"onetwodeepthree four");
    EXPECT_EQ(document->stringValue(), u"onetwodeepthree four");
}

TEST(CXMLNodeStringValue, EmptyElementCommentAndAttributeForms)
{
    const CXMLDocumentPtr document = parse("<r e=\"\" v=\"x &amp; y\"><empty/><!--c--></r>");
    const CXMLElementPtr root = document->rootElement();
    EXPECT_EQ(root->childAtIndex(0)->stringValue(), u"");
    EXPECT_FALSE(root->childAtIndex(0)->stringValue().isNull());
    EXPECT_EQ(root->childAtIndex(1)->stringValue(), u"");
    EXPECT_EQ(root->attributeForName(QStringLiteral("e"))->stringValue(), u"");
    EXPECT_EQ(root->attributeForName(QStringLiteral("v"))->stringValue(), u"x & y");
}

TEST(CXMLNodeTree, ChildrenCountIndexLevelAndSiblings)
{
    const CXMLDocumentPtr document = parse("<a><b/><c x=\"1\"/><d><e/></d></a>");
    const CXMLElementPtr a = document->rootElement();
    EXPECT_EQ(a->childCount(), 3);
    const CXMLNodePtr c = a->childAtIndex(1);
    EXPECT_EQ(c->name(), u"c");
    EXPECT_EQ(c->index(), 1);
    EXPECT_EQ(c->level(), 2);
    EXPECT_EQ(document->level(), 0);
    EXPECT_EQ(a->level(), 1);
    EXPECT_EQ(c->previousSibling()->name(), u"b");
    EXPECT_EQ(c->nextSibling()->name(), u"d");
    EXPECT_EQ(a->childAtIndex(0)->previousSibling(), nullptr);
    EXPECT_EQ(a->childAtIndex(2)->nextSibling(), nullptr);
    EXPECT_EQ(a->childAtIndex(3), nullptr);
    EXPECT_EQ(a->childAtIndex(-1), nullptr);
    const CXMLNodePtr attribute = asElement(c)->attributeForName(QStringLiteral("x"));
    EXPECT_EQ(attribute->childCount(), 0);
    EXPECT_TRUE(attribute->children().isEmpty());
    EXPECT_EQ(attribute->level(), 3);
}

TEST(CXMLNodeTree, ParentAndRootDocument)
{
    const CXMLDocumentPtr document = parse("<a><b><c/></b></a>");
    const std::optional<CXMLNodeList> found = document->nodesForXPath(QStringLiteral("//c"), nullptr);
    ASSERT_TRUE(found && found->size() == 1);
    const CXMLNodePtr c = found->first();
    // The parent is found even when no wrapper was asked for it before.
    EXPECT_EQ(c->parent()->name(), u"b");
    EXPECT_EQ(c->parent()->parent(), document->rootElement());
    EXPECT_EQ(document->rootElement()->parent(), document);
    EXPECT_EQ(document->parent(), nullptr);
    EXPECT_EQ(c->rootDocument(), document);
}

TEST(CXMLNodeIdentity, SameNodeGivesSameWrapper)
{
    const CXMLDocumentPtr document = parse(envelope);
    const CXMLElementPtr root = document->rootElement();
    EXPECT_EQ(root, document->rootElement());
    const CXMLNodeList first = root->children();
    const CXMLNodeList second = root->children();
    ASSERT_EQ(first.size(), 1);
    EXPECT_EQ(first[0], second[0]);
    EXPECT_EQ(first[0], root->childAtIndex(0));
    EXPECT_EQ(first[0]->childAtIndex(0)->parent(), first[0]);
    EXPECT_TRUE(inPool(document, first[0]));
}

TEST(CXMLNodeInvalidation, KeptChildFailsAfterDocumentIsGone)
{
    CXMLNodePtr child;
    CXMLNodePtr attribute;
    {
        CXMLDocumentPtr document = parse("<a><b x=\"1\">text</b></a>");
        child = document->rootElement()->childAtIndex(0);
        attribute = asElement(child)->attributeForName(QStringLiteral("x"));
    }
    EXPECT_EQ(child->node(), nullptr);
    try {
        child->kind();
        FAIL() << "kind on an invalidated wrapper";
    } catch (const ProgrammingError &error) {
        EXPECT_EQ(error.message(), u"CXMLNode does not have attached libxml2 _node.");
        EXPECT_EQ(error.unit(), u"CXMLNode");
        EXPECT_EQ(error.operation(), u"kind");
        EXPECT_GT(error.line(), 0);
    }
    EXPECT_THROW(child->name(), ProgrammingError);
    EXPECT_THROW(child->stringValue(), ProgrammingError);
    EXPECT_THROW(child->children(), ProgrammingError);
    EXPECT_THROW(child->parent(), ProgrammingError);
    EXPECT_THROW(child->description(), ProgrammingError);
    EXPECT_THROW(child->nodesForXPath(QStringLiteral("*"), nullptr), ProgrammingError);
    EXPECT_THROW(attribute->stringValue(), ProgrammingError);
    // The unchecked queries answer empty instead of reading freed memory.
    EXPECT_TRUE(child->XMLString().isNull());
    EXPECT_TRUE(child->URI().isNull());
    EXPECT_TRUE(asElement(child)->elementsForName(QStringLiteral("x")).isEmpty());
    EXPECT_EQ(child->copyWithZone(), nullptr);
}

TEST(CXMLNodeInvalidation, WrappersInsideAFreedCopyAreInvalidated)
{
    const CXMLDocumentPtr document = parse("<a><b><c/></b></a>");
    CXMLNodePtr inner;
    {
        CXMLNodePtr copy = document->rootElement()->copyWithZone();
        inner = copy->childAtIndex(0)->childAtIndex(0);
        EXPECT_EQ(inner->name(), u"c");
    }
    EXPECT_THROW(inner->kind(), ProgrammingError);
}

TEST(CXMLNodeInvalidation, ExplicitInvalidateDetachesOnlyThatWrapper)
{
    const CXMLDocumentPtr document = parse("<a><b/></a>");
    const CXMLNodePtr b = document->rootElement()->childAtIndex(0);
    xmlNode *node = b->node();
    b->invalidate();
    EXPECT_THROW(b->kind(), ProgrammingError);
    // The node stays in the tree and gets a new wrapper when asked again.
    const CXMLNodePtr again = document->rootElement()->childAtIndex(0);
    EXPECT_NE(again, b);
    EXPECT_EQ(again->node(), node);
    EXPECT_EQ(again->name(), u"b");
}

TEST(CXMLNodeCopy, DeepCopyIsDetachedAndOfTheSameClass)
{
    const CXMLDocumentPtr document = parse("<a xmlns:p=\"urn:p\"><p:b k=\"v\">t</p:b></a>");
    const CXMLNodePtr b = document->rootElement()->childAtIndex(0);
    const CXMLNodePtr copy = b->copyWithZone();
    ASSERT_NE(asElement(copy), nullptr);
    EXPECT_NE(copy, b);
    EXPECT_NE(copy->node(), b->node());
    EXPECT_EQ(copy->node()->doc, nullptr);
    EXPECT_EQ(copy->node()->_private, copy.get());
    EXPECT_EQ(copy->rootDocument(), nullptr);
    EXPECT_EQ(copy->name(), u"p:b");
    EXPECT_EQ(copy->URI(), u"urn:p");
    EXPECT_EQ(copy->stringValue(), u"t");
    EXPECT_EQ(asElement(copy)->attributeForName(QStringLiteral("k"))->stringValue(), u"v");

    const CXMLNodePtr documentCopy = document->copyWithZone();
    ASSERT_NE(std::dynamic_pointer_cast<CXMLDocument>(documentCopy), nullptr);
    EXPECT_EQ(std::static_pointer_cast<CXMLDocument>(documentCopy)->rootElement()->XMLString(),
              document->rootElement()->XMLString());
}

TEST(CXMLNodeSerialisation, XMLStringOfElementAttributeAndText)
{
    const CXMLDocumentPtr document = parse("<?xml version=\"1.0\"?>\n<a><b k=\"v\">x &lt; y</b></a>");
    const CXMLElementPtr b = asElement(document->rootElement()->childAtIndex(0));
    EXPECT_EQ(b->XMLString(), u"<b k=\"v\">x &lt; y</b>");
    EXPECT_EQ(b->attributeForName(QStringLiteral("k"))->XMLString(), u" k=\"v\"");
    EXPECT_EQ(b->childAtIndex(0)->XMLString(), u"x &lt; y");
    EXPECT_EQ(document->XMLString(), u"<a><b k=\"v\">x &lt; y</b></a>");
}

TEST(CXMLNodeDescription, NodeDescriptionNamesClassPointersNameAndXML)
{
    const CXMLDocumentPtr document = parse("<a><b>t</b></a>");
    const CXMLNodePtr b = document->rootElement()->childAtIndex(0);
    const QString expected = QStringLiteral("<CXMLElement 0x%1 [0x%2] b <b>t</b>>")
                                 .arg(reinterpret_cast<quintptr>(b.get()), 0, 16)
                                 .arg(reinterpret_cast<quintptr>(b->node()), 0, 16);
    EXPECT_EQ(b->description(), expected);
    const CXMLNodePtr text = b->childAtIndex(0);
    EXPECT_TRUE(text->description().startsWith(u"<CXMLNode 0x"));
    EXPECT_TRUE(text->description().endsWith(u" text t>"));
}

TEST(CXMLNodeDescription, DocumentDescriptionIsPrefixAndIndentedDocument)
{
    const CXMLDocumentPtr document = parse("<a><b>t</b></a>");
    const QString prefix = QStringLiteral("<CXMLDocument 0x%1 [0x%2]> ")
                               .arg(reinterpret_cast<quintptr>(document.get()), 0, 16)
                               .arg(reinterpret_cast<quintptr>(document->node()), 0, 16);
    EXPECT_EQ(document->description(),
              prefix + QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<a>\n  <b>t</b>\n</a>\n"));
}

TEST(CXMLNodeSetStringValue, ReplacesTextOfTextNodesOnly)
{
    const CXMLDocumentPtr document = parse("<a>old<b/><!--c--></a>");
    const CXMLNodePtr text = document->rootElement()->childAtIndex(0);
    text->setStringValue(QStringLiteral("new & <fresh>"));
    EXPECT_EQ(document->rootElement()->XMLString(), u"<a>new &amp; &lt;fresh&gt;<b/><!--c--></a>");
    try {
        document->rootElement()->childAtIndex(2)->setStringValue(QStringLiteral("x"));
        FAIL() << "setStringValue on a comment";
    } catch (const ProgrammingError &error) {
        EXPECT_EQ(error.message(), u"CNode setStringValue only implemented for text nodes");
        EXPECT_EQ(error.unit(), u"CXMLNode_CreationExtensions");
    }
}

TEST(CXMLNodeFactory, NullNodeGivesNullAndOwnedNodeIsFreedWithItsWrapper)
{
    EXPECT_EQ(CXMLNode::nodeWithLibXMLNode(nullptr, true), nullptr);
    xmlNode *node = xmlNewNode(nullptr, reinterpret_cast<const xmlChar *>("loose"));
    {
        const CXMLNodePtr wrapper = CXMLNode::nodeWithLibXMLNode(node, true);
        ASSERT_NE(asElement(wrapper), nullptr);
        EXPECT_EQ(CXMLNode::nodeWithLibXMLNode(node, false), wrapper);
        EXPECT_EQ(wrapper->rootDocument(), nullptr);
    }
    // Freed by the wrapper: the leak checker of the sanitizer build reports otherwise.
}

TEST(CXMLNodeFactory, UnhandledTypeIsAProgrammingError)
{
    xmlNode *fragment = xmlNewDocFragment(nullptr);
    try {
        CXMLNode::nodeWithLibXMLNode(fragment, false);
        ADD_FAILURE() << "no error for a document fragment";
    } catch (const ProgrammingError &error) {
        EXPECT_EQ(error.message(), u"TODO Unhandled type (11).");
        EXPECT_EQ(error.unit(), u"CXMLNode_PrivateExtensions");
    }
    xmlFreeNode(fragment);
}

#include "xml/CXMLDocument.h"
#include "xml/CXMLElement.h"
#include "xml/CXMLNamespaceNode.h"

#include <gtest/gtest.h>

namespace {

CXMLElementPtr rootOf(const char *text, CXMLDocumentPtr &keep)
{
    ErrorRecord error;
    keep = CXMLDocument::initWithData(QByteArray(text), 0, &error);
    EXPECT_TRUE(keep) << error.localizedDescription().toStdString();
    return keep ? keep->rootElement() : nullptr;
}

QStringList namesOf(const QList<CXMLElementPtr> &elements)
{
    QStringList names;
    for (const CXMLElementPtr &element : elements)
        names.append(element->name());
    return names;
}

} // namespace

TEST(CXMLElementChildren, ElementsForNameMatchesLocalNameWhateverThePrefix)
{
    CXMLDocumentPtr document;
    const CXMLElementPtr root =
        rootOf("<List xmlns:p=\"urn:p\"><Item>1</Item>text<p:Item>2</p:Item><Other><Item>deep</Item></Other></List>",
               document);
    const QList<CXMLElementPtr> items = root->elementsForName(QStringLiteral("Item"));
    EXPECT_EQ(namesOf(items), (QStringList{QStringLiteral("Item"), QStringLiteral("p:Item")}));
    EXPECT_TRUE(root->elementsForName(QStringLiteral("p:Item")).isEmpty());
    EXPECT_TRUE(root->elementsForName(QStringLiteral("Missing")).isEmpty());
    // The same wrappers as the children.
    EXPECT_EQ(items[0], root->childAtIndex(0));
}

TEST(CXMLElementChildren, ElementsForLocalNameFiltersByNamespaceURI)
{
    CXMLDocumentPtr document;
    const CXMLElementPtr root =
        rootOf("<List xmlns:p=\"urn:p\" xmlns:q=\"urn:q\"><p:Item>1</p:Item><q:Item>2</q:Item><Item>3</Item></List>",
               document);
    const QList<CXMLElementPtr> inP = root->elementsForLocalName(QStringLiteral("Item"), QStringLiteral("urn:p"));
    ASSERT_EQ(inP.size(), 1);
    EXPECT_EQ(inP[0]->stringValue(), u"1");
    EXPECT_EQ(root->elementsForLocalName(QStringLiteral("Item"), QString()).size(), 3);
    EXPECT_EQ(root->elementsForLocalName(QStringLiteral("Item"), QStringLiteral("")).size(), 3);
    EXPECT_TRUE(root->elementsForLocalName(QStringLiteral("Item"), QStringLiteral("urn:none")).isEmpty());
}

TEST(CXMLElementAttributes, AttributesInOrderAndByName)
{
    CXMLDocumentPtr document;
    const CXMLElementPtr root = rootOf(
        "<e xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xmlns:o=\"urn:o\" "
        "id=\"7\" xsi:type=\"xsd:string\" o:type=\"other\" type=\"plain\"/>",
        document);
    const CXMLNodeList attributes = root->attributes();
    ASSERT_EQ(attributes.size(), 4);
    EXPECT_EQ(attributes[0]->name(), u"id");
    EXPECT_EQ(attributes[1]->name(), u"xsi:type");
    EXPECT_EQ(attributes[1]->localName(), u"type");
    EXPECT_EQ(attributes[1]->prefix(), u"xsi");

    // Without a prefix the first attribute of that local name, whatever its namespace.
    EXPECT_EQ(root->attributeForName(QStringLiteral("type"))->stringValue(), u"xsd:string");
    EXPECT_EQ(root->attributeForName(QStringLiteral("o:type"))->stringValue(), u"other");
    EXPECT_EQ(root->attributeForName(QStringLiteral("xsi:type")), attributes[1]);
    EXPECT_EQ(root->attributeForName(QStringLiteral("z:type")), nullptr);
    EXPECT_EQ(root->attributeForName(QStringLiteral("missing")), nullptr);

    EXPECT_EQ(root->attributeForLocalName(QStringLiteral("type"), QStringLiteral("urn:o"))->stringValue(), u"other");
    EXPECT_EQ(root->attributeForLocalName(QStringLiteral("type"), QString())->stringValue(), u"xsd:string");
    EXPECT_EQ(root->attributeForLocalName(QStringLiteral("id"), QStringLiteral("urn:o")), nullptr);
    EXPECT_EQ(attributes[0]->parent(), root);
}

TEST(CXMLElementNamespaces, DeclaredNamespacesOnly)
{
    CXMLDocumentPtr document;
    const CXMLElementPtr root =
        rootOf("<a xmlns=\"urn:default\" xmlns:p=\"urn:p\"><p:b xmlns:q=\"urn:q\"/></a>", document);
    const QList<CXMLNamespaceNodePtr> declared = root->namespaces();
    ASSERT_EQ(declared.size(), 2);
    EXPECT_EQ(declared[0]->name(), u"");
    EXPECT_EQ(declared[0]->stringValue(), u"urn:default");
    EXPECT_EQ(declared[1]->name(), u"p");
    EXPECT_EQ(declared[1]->parent(), root);

    const CXMLElementPtr b = std::static_pointer_cast<CXMLElement>(root->childAtIndex(0));
    ASSERT_EQ(b->namespaces().size(), 1);
    EXPECT_EQ(b->namespaces()[0]->stringValue(), u"urn:q");
    EXPECT_EQ(b->namespaceForPrefix(QStringLiteral("p")), nullptr);

    EXPECT_EQ(root->namespaceForPrefix(QStringLiteral("p"))->stringValue(), u"urn:p");
    EXPECT_EQ(root->namespaceForPrefix(QStringLiteral("x")), nullptr);
    EXPECT_EQ(root->resolveNamespaceForName(QStringLiteral("p:thing"))->stringValue(), u"urn:p");
    EXPECT_EQ(root->resolveNamespaceForName(QStringLiteral("thing"))->stringValue(), u"urn:default");
    EXPECT_EQ(b->resolveNamespaceForName(QStringLiteral("thing")), nullptr);
    EXPECT_EQ(root->resolvePrefixForNamespaceURI(QStringLiteral("urn:p")), u"p");
    EXPECT_EQ(root->resolvePrefixForNamespaceURI(QStringLiteral("urn:default")), u"");
    EXPECT_FALSE(root->resolvePrefixForNamespaceURI(QStringLiteral("urn:default")).isNull());
    EXPECT_TRUE(root->resolvePrefixForNamespaceURI(QStringLiteral("urn:none")).isNull());
}

TEST(CXMLNamespaceNode, ReportsItsDeclarationAndElement)
{
    CXMLDocumentPtr document;
    const CXMLElementPtr root = rootOf("<a><b xmlns:p=\"urn:p\" xmlns=\"urn:d\"/></a>", document);
    const CXMLElementPtr b = std::static_pointer_cast<CXMLElement>(root->childAtIndex(0));
    const CXMLNamespaceNodePtr p = b->namespaceForPrefix(QStringLiteral("p"));
    EXPECT_EQ(p->kind(), CXMLNode::NamespaceKind);
    EXPECT_EQ(p->name(), u"p");
    EXPECT_EQ(p->prefix(), u"");
    EXPECT_TRUE(p->URI().isNull());
    EXPECT_EQ(p->level(), 3);
    EXPECT_EQ(p->rootDocument(), document);
    EXPECT_FALSE(p->nodesForXPath(QStringLiteral("*"), nullptr).has_value());
    EXPECT_EQ(p->XMLString(), u"xmlns:p=\"urn:p\"");
    EXPECT_EQ(b->namespaceForPrefix(QStringLiteral(""))->description(), u"xmlns=\"urn:d\"");

    const CXMLNamespaceNodePtr loose = CXMLNode::predefinedNamespaceForPrefix(QStringLiteral("xsi"));
    EXPECT_EQ(loose->stringValue(), u"http://www.w3.org/2001/XMLSchema-instance");
    EXPECT_EQ(loose->level(), 2);
    EXPECT_EQ(loose->parent(), nullptr);
    EXPECT_EQ(CXMLNode::predefinedNamespaceForPrefix(QStringLiteral("xsd")), nullptr);
}

#pragma once

#include "xml/CXMLDocument.h"
#include "xml/CXMLElement.h"
#include "xml/CXMLNamespaceNode.h"

#include <vector>

// Asks every query of the model of every node under root, so that the
// fuzzers reach the tree accessors and not only the parsers.
inline void walkEveryNode(const CXMLNodePtr &root)
{
    std::vector<CXMLNodePtr> pending{root};
    while (!pending.empty()) {
        const CXMLNodePtr node = pending.back();
        pending.pop_back();
        (void)node->kind();
        (void)node->name();
        (void)node->localName();
        (void)node->prefix();
        (void)node->URI();
        (void)node->stringValue();
        (void)node->index();
        (void)node->level();
        (void)node->parent();
        (void)node->previousSibling();
        (void)node->description();
        if (const auto element = std::dynamic_pointer_cast<CXMLElement>(node)) {
            for (const CXMLNodePtr &attribute : element->attributes()) {
                (void)attribute->stringValue();
                (void)attribute->name();
                (void)element->attributeForName(attribute->name());
            }
            for (const CXMLNamespaceNodePtr &declaration : element->namespaces()) {
                (void)declaration->description();
                (void)element->resolvePrefixForNamespaceURI(declaration->stringValue());
            }
            (void)element->elementsForName(element->localName());
            (void)element->copyWithZone();
        }
        for (const CXMLNodePtr &child : node->children())
            pending.push_back(child);
    }
}

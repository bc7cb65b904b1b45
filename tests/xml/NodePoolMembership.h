#pragma once

#include "xml/CXMLDocument.h"

#include <algorithm>

// Whether the document's nodePool holds the wrapper.
inline bool inPool(const CXMLDocumentPtr &document, const CXMLNodePtr &wrapper)
{
    const auto &pool = document->nodePool();
    return std::find(pool.begin(), pool.end(), wrapper) != pool.end();
}

#pragma once

#include "service/OVWSContract.h"
#include "xml/CXMLDocument.h"
#include "xml/CXMLElement.h"

#include <QString>

namespace recordsamples {

// The root element of a parsed XML text, its document kept for the rest of
// the run; null when the text does not parse.
CXMLElementPtr parseElement(const QString &xml);

// The element of a record of this type with every field set, in the form the
// record types write (their canonical text): distinct numbers, alternating
// booleans, texts needing escapes, Base64 data, nested records and two-item
// lists (one string for the list of strings, empty lists below depth 1).
QString recordWithAllFields(const OVWSContract::Record &record, int depth = 0);
// The same without the record's own element around it.
QString recordContent(const OVWSContract::Record &record, int depth);

} // namespace recordsamples

#pragma once

#include "service/OVWSContract.h"

#include <QString>

// Writes the plausible answer of the simulated server: the response element
// of an operation, whose Result has the operation's result type.
class SampleResultWriter
{
public:
    explicit SampleResultWriter(int listItems) : listItems(listItems) {}

    // "<NameResponse xmlns=...>" with "<NameResult>" inside, or empty for an
    // operation without result.
    QString responseElement(const OVWSContract::Operation &operation) const;
    // The content of a record element of this type.
    // nested: inside an item of a list, where lists hold at most two items.
    QString recordContent(const OVWSContract::Record &record, int depth, int index, bool nested = false) const;


private:
    int listItems;

    QString tokenText(const OVWSContract::Operation &operation) const;
    QString listContent(const OVWSContract::List &list, int depth, bool nested) const;
    QString fieldContent(const OVWSContract::Member &field, int depth, int index, int position, bool nested) const;
};

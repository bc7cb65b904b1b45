#include "service/OVWSContract.h"

#include <algorithm>

namespace {

template <typename Entry, typename Key>
const Entry *findByName(std::span<const Entry> entries, QAnyStringView name, Key key)
{
    const auto found = std::find_if(entries.begin(), entries.end(), [&](const Entry &entry) {
        return QAnyStringView::compare(QLatin1String(entry.*key), name) == 0;
    });
    return found == entries.end() ? nullptr : &*found;
}

} // namespace

const OVWSContract::Operation *OVWSContract::operation(QAnyStringView name)
{
    return findByName(operations(), name, &Operation::name);
}

const OVWSContract::Record *OVWSContract::record(QAnyStringView elementName)
{
    return findByName(records(), elementName, &Record::elementName);
}

const OVWSContract::List *OVWSContract::list(QAnyStringView name)
{
    return findByName(lists(), name, &List::name);
}

QString OVWSContract::soapAction(QAnyStringView operationName)
{
    return serviceNamespace() + contractPath() + operationName.toString();
}

const char *OVWSContract::kindName(Kind kind)
{
    switch (kind) {
    case Kind::Int:
        return "int";
    case Kind::Bool:
        return "bool";
    case Kind::String:
        return "string";
    case Kind::Data:
        return "data";
    case Kind::Record:
        return "record";
    case Kind::List:
        return "list";
    }
    return "";
}

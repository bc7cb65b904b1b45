#include "xml/XmlAttributes.h"

std::optional<QString> XmlAttributes::value(QByteArrayView qualifiedName) const
{
    for (const Entry &entry : m_entries) {
        bool matches;
        if (entry.prefix.isEmpty()) {
            matches = entry.localName == qualifiedName;
        } else {
            const qsizetype prefixLength = entry.prefix.size();
            matches = qualifiedName.size() == prefixLength + 1 + entry.localName.size() &&
                      qualifiedName.first(prefixLength) == entry.prefix && qualifiedName.at(prefixLength) == ':' &&
                      qualifiedName.sliced(prefixLength + 1) == entry.localName;
        }
        if (matches)
            return QString::fromUtf8(entry.value);
    }
    return std::nullopt;
}

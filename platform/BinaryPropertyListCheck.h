#pragma once

#include <QByteArray>
#include <QString>

// Checks the structure of a binary property list before it is handed to
// libplist, whose parser recurses once per nesting level and expands shared
// references: the object table must lie inside the data, every reference of
// an array, set or dictionary must name an object, no container may contain
// itself, and nesting and the expanded size must stay within bounds.
class BinaryPropertyListCheck {
public:
    static constexpr int MaximumNesting = 64;
    static constexpr quint64 MaximumExpandedObjects = quint64(1) << 21;

    static bool isBinaryPropertyList(const QByteArray &data);
    // Empty when the data may be parsed, else why not.
    static QString problem(const QByteArray &data);
};

#include "platform/BinaryPropertyListCheck.h"

#include <vector>

namespace {

constexpr qsizetype HeaderSize = 8;
constexpr qsizetype TrailerSize = 32;

quint64 bigEndian(const unsigned char *bytes, int size)
{
    quint64 value = 0;
    for (int index = 0; index < size; ++index)
        value = (value << 8) | bytes[index];
    return value;
}

struct Layout {
    const unsigned char *bytes = nullptr;
    quint64 size = 0;
    int offsetSize = 0;
    int referenceSize = 0;
    quint64 objectCount = 0;
    quint64 topObject = 0;
    quint64 offsetTable = 0;

    quint64 offsetOf(quint64 object) const { return bigEndian(bytes + offsetTable + object * quint64(offsetSize), offsetSize); }
};

// The references held by the container at offset (none for other objects);
// false when the object's header or references run past the object area.
bool references(const Layout &layout, quint64 offset, std::vector<quint64> &children)
{
    children.clear();
    if (offset < quint64(HeaderSize) || offset >= layout.offsetTable)
        return false;
    const unsigned char marker = layout.bytes[offset];
    const int kind = marker >> 4;
    if (kind != 0xA && kind != 0xC && kind != 0xD)
        return true;
    quint64 count = marker & 0x0F;
    quint64 position = offset + 1;
    if (count == 0x0F) {
        if (position >= layout.offsetTable)
            return false;
        const unsigned char intMarker = layout.bytes[position];
        if ((intMarker >> 4) != 0x1 || (intMarker & 0x0F) > 3)
            return false;
        const int intSize = 1 << (intMarker & 0x0F);
        if (position + 1 + quint64(intSize) > layout.offsetTable)
            return false;
        count = bigEndian(layout.bytes + position + 1, intSize);
        position += 1 + quint64(intSize);
    }
    const quint64 referenceCount = kind == 0xD ? count * 2 : count;
    if (count > layout.size || referenceCount * quint64(layout.referenceSize) > layout.offsetTable - position)
        return false;
    children.reserve(size_t(referenceCount));
    for (quint64 index = 0; index < referenceCount; ++index)
        children.push_back(bigEndian(layout.bytes + position + index * quint64(layout.referenceSize), layout.referenceSize));
    return true;
}

} // namespace

bool BinaryPropertyListCheck::isBinaryPropertyList(const QByteArray &data)
{
    return data.startsWith("bplist00");
}

QString BinaryPropertyListCheck::problem(const QByteArray &data)
{
    if (data.size() < HeaderSize + TrailerSize + 1 || !isBinaryPropertyList(data))
        return QStringLiteral("it is not a binary property list");
    Layout layout;
    layout.bytes = reinterpret_cast<const unsigned char *>(data.constData());
    layout.size = quint64(data.size());
    const unsigned char *trailer = layout.bytes + data.size() - TrailerSize;
    layout.offsetSize = trailer[6];
    layout.referenceSize = trailer[7];
    layout.objectCount = bigEndian(trailer + 8, 8);
    layout.topObject = bigEndian(trailer + 16, 8);
    layout.offsetTable = bigEndian(trailer + 24, 8);
    const quint64 objectArea = layout.size - quint64(TrailerSize);
    if (layout.offsetSize < 1 || layout.offsetSize > 8 || layout.referenceSize < 1 || layout.referenceSize > 8)
        return QStringLiteral("its trailer is damaged");
    if (layout.objectCount == 0 || layout.objectCount > objectArea || layout.topObject >= layout.objectCount
        || layout.offsetTable < quint64(HeaderSize) || layout.offsetTable > objectArea
        || layout.objectCount * quint64(layout.offsetSize) > objectArea - layout.offsetTable)
        return QStringLiteral("its object table does not fit the data");

    // Depth-first walk without recursion; each object is finished once, with
    // its nesting depth and the number of objects it expands to.
    enum class Visit : unsigned char { New, Open, Done };
    std::vector<Visit> visits(size_t(layout.objectCount), Visit::New);
    std::vector<int> depth(size_t(layout.objectCount), 0);
    std::vector<quint64> expanded(size_t(layout.objectCount), 0);
    struct Frame {
        quint64 object;
        std::vector<quint64> children;
        size_t next = 0;
    };
    std::vector<Frame> stack;
    std::vector<quint64> children;
    auto open = [&](quint64 object) -> QString {
        if (!references(layout, layout.offsetOf(object), children))
            return QStringLiteral("object %1 runs past its data").arg(object);
        for (quint64 child : children) {
            if (child >= layout.objectCount)
                return QStringLiteral("object %1 refers to a missing object").arg(object);
        }
        visits[size_t(object)] = Visit::Open;
        stack.push_back({object, children, 0});
        if (stack.size() > size_t(MaximumNesting))
            return QStringLiteral("it is nested deeper than %1 levels").arg(MaximumNesting);
        return {};
    };
    if (QString failure = open(layout.topObject); !failure.isEmpty())
        return failure;
    while (!stack.empty()) {
        Frame &frame = stack.back();
        if (frame.next < frame.children.size()) {
            const quint64 child = frame.children[frame.next++];
            if (visits[size_t(child)] == Visit::Open)
                return QStringLiteral("object %1 contains itself").arg(child);
            if (visits[size_t(child)] == Visit::New) {
                if (QString failure = open(child); !failure.isEmpty())
                    return failure;
            }
            continue;
        }
        int deepest = 0;
        quint64 total = 1;
        for (quint64 child : frame.children) {
            deepest = std::max(deepest, depth[size_t(child)]);
            total += expanded[size_t(child)];
            if (total > MaximumExpandedObjects)
                return QStringLiteral("it expands to more than %1 objects").arg(MaximumExpandedObjects);
        }
        depth[size_t(frame.object)] = deepest + 1;
        if (deepest + 1 > MaximumNesting)
            return QStringLiteral("it is nested deeper than %1 levels").arg(MaximumNesting);
        expanded[size_t(frame.object)] = total;
        visits[size_t(frame.object)] = Visit::Done;
        stack.pop_back();
    }
    return {};
}

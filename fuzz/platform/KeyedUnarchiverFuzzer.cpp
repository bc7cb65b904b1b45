// Arbitrary bytes as a keyed archive (a stored playlist selection or a legacy
// settings file): refused or restored, never a crash or a hang.
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

namespace {

class Named : public KeyedCodable {
public:
    QString archiveClassName() const override { return QStringLiteral("Playlist"); }
    QStringList archiveClassHierarchy() const override { return {QStringLiteral("Playlist"), QStringLiteral("NSObject")}; }
    void encodeWithCoder(KeyedArchiver &coder) const override { coder.encodeObject(value, QStringLiteral("Name")); }
    QVariant value;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    KeyedUnarchiver unarchiver;
    unarchiver.registerClass(QStringLiteral("Playlist"), [](KeyedUnarchiver &coder) -> KeyedCodablePtr {
        auto object = std::make_shared<Named>();
        object->value = coder.decodeObject(QStringLiteral("Name"));
        coder.decodeString(QStringLiteral("PersistentID"));
        coder.decodeBool(QStringLiteral("Flag"));
        return object;
    });
    const std::optional<QVariant> restored =
        unarchiver.unarchive(QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size)));
    if (restored) {
        // What was restored can be archived again.
        KeyedArchiver::archivedData(*restored);
    }
    return 0;
}

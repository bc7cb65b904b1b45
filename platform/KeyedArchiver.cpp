#include "platform/KeyedArchiver.h"

#include <QHash>
#include <QList>
#include <QVariantHash>
#include <QVariantList>
#include <QVariantMap>

#include <plist/plist.h>

#include <vector>

namespace {

// Raised inside the archiver for a value it cannot archive.
struct UnarchivableValue {
    QString reason;
};

struct PlistDeleter {
    void operator()(plist_t node) const { plist_free(node); }
};

} // namespace

struct KeyedArchiver::State {
    std::unique_ptr<void, PlistDeleter> objects{plist_new_array()};
    QHash<QString, uint64_t> strings;
    QHash<QString, uint64_t> classRecords;
    QHash<const KeyedCodable *, uint64_t> codedObjects;
    // The dictionaries of the objects being encoded, innermost last.
    std::vector<plist_t> openObjects;

    uint64_t append(plist_t node)
    {
        const uint64_t index = plist_array_get_size(objects.get());
        plist_array_append_item(objects.get(), node);
        return index;
    }

    uint64_t classRecord(const QString &name, const QStringList &hierarchy)
    {
        const auto found = classRecords.constFind(name);
        if (found != classRecords.constEnd())
            return found.value();
        plist_t record = plist_new_dict();
        plist_dict_set_item(record, "$classname", plist_new_string(name.toUtf8().constData()));
        plist_t classes = plist_new_array();
        for (const QString &entry : hierarchy)
            plist_array_append_item(classes, plist_new_string(entry.toUtf8().constData()));
        plist_dict_set_item(record, "$classes", classes);
        const uint64_t index = append(record);
        classRecords.insert(name, index);
        return index;
    }

    uint64_t encode(const QVariant &value, KeyedArchiver &archiver);
    // Takes the next slot for a collection, so that a root collection is
    // object 1 as in every keyed archive; filled by finishCollection.
    uint64_t reserve()
    {
        return append(plist_new_dict());
    }
    uint64_t finishCollection(uint64_t index, const QString &className, plist_t keys, plist_t values);
};

uint64_t KeyedArchiver::State::finishCollection(uint64_t index, const QString &className, plist_t keys,
                                                 plist_t values)
{
    plist_t record = plist_array_get_item(objects.get(), uint32_t(index));
    if (keys)
        plist_dict_set_item(record, "NS.keys", keys);
    plist_dict_set_item(record, "NS.objects", values);
    const uint64_t classIndex = classRecord(className, {className, QStringLiteral("NSObject")});
    plist_dict_set_item(record, "$class", plist_new_uid(classIndex));
    return index;
}

uint64_t KeyedArchiver::State::encode(const QVariant &value, KeyedArchiver &archiver)
{
    if (!value.isValid() || value.metaType().id() == QMetaType::Nullptr)
        return 0;
    const int type = value.metaType().id();
    switch (type) {
    case QMetaType::QString: {
        const QString text = value.toString();
        const auto found = strings.constFind(text);
        if (found != strings.constEnd())
            return found.value();
        const uint64_t index = append(plist_new_string(text.toUtf8().constData()));
        strings.insert(text, index);
        return index;
    }
    case QMetaType::Bool:
        return append(plist_new_bool(value.toBool()));
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::Long:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
        return append(plist_new_uint(uint64_t(value.toLongLong())));
    case QMetaType::ULongLong:
    case QMetaType::ULong:
        return append(plist_new_uint(value.toULongLong()));
    case QMetaType::Double:
    case QMetaType::Float:
        return append(plist_new_real(value.toDouble()));
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        return append(plist_new_data(bytes.constData(), uint64_t(bytes.size())));
    }
    case QMetaType::QStringList:
    case QMetaType::QVariantList: {
        const QVariantList items = value.toList();
        const uint64_t slot = reserve();
        std::vector<uint64_t> indexes;
        indexes.reserve(size_t(items.size()));
        for (const QVariant &item : items)
            indexes.push_back(encode(item, archiver));
        plist_t values = plist_new_array();
        for (uint64_t index : indexes)
            plist_array_append_item(values, plist_new_uid(index));
        return finishCollection(slot, QStringLiteral("NSArray"), nullptr, values);
    }
    case QMetaType::QVariantMap:
    case QMetaType::QVariantHash: {
        QList<QPair<QString, QVariant>> entries;
        if (type == QMetaType::QVariantMap) {
            const QVariantMap map = value.toMap();
            for (auto entry = map.constKeyValueBegin(); entry != map.constKeyValueEnd(); ++entry)
                entries.append({entry->first, entry->second});
        } else {
            const QVariantHash hash = value.toHash();
            for (auto entry = hash.constKeyValueBegin(); entry != hash.constKeyValueEnd(); ++entry)
                entries.append({entry->first, entry->second});
        }
        const uint64_t slot = reserve();
        std::vector<uint64_t> keyIndexes;
        std::vector<uint64_t> valueIndexes;
        for (const auto &entry : entries) {
            keyIndexes.push_back(encode(entry.first, archiver));
            valueIndexes.push_back(encode(entry.second, archiver));
        }
        plist_t keys = plist_new_array();
        plist_t values = plist_new_array();
        for (size_t index = 0; index < keyIndexes.size(); ++index) {
            plist_array_append_item(keys, plist_new_uid(keyIndexes[index]));
            plist_array_append_item(values, plist_new_uid(valueIndexes[index]));
        }
        return finishCollection(slot, QStringLiteral("NSDictionary"), keys, values);
    }
    default:
        break;
    }
    if (value.canConvert<KeyedCodablePtr>() && value.metaType() == QMetaType::fromType<KeyedCodablePtr>()) {
        const KeyedCodablePtr object = value.value<KeyedCodablePtr>();
        if (!object)
            return 0;
        const auto found = codedObjects.constFind(object.get());
        if (found != codedObjects.constEnd())
            return found.value();
        // The object's slot is taken first, so references back to it (cycles)
        // and shared references resolve to the same entry.
        plist_t record = plist_new_dict();
        const uint64_t index = append(record);
        codedObjects.insert(object.get(), index);
        openObjects.push_back(record);
        object->encodeWithCoder(archiver);
        openObjects.pop_back();
        const uint64_t classIndex = classRecord(object->archiveClassName(), object->archiveClassHierarchy());
        plist_dict_set_item(record, "$class", plist_new_uid(classIndex));
        return index;
    }
    throw UnarchivableValue{QStringLiteral("a value of type %1 cannot be archived")
                                .arg(QString::fromLatin1(value.metaType().name()))};
}

KeyedArchiver::KeyedArchiver()
    : m_state(std::make_unique<State>())
{
    plist_array_append_item(m_state->objects.get(), plist_new_string("$null"));
}

KeyedArchiver::~KeyedArchiver() = default;

QByteArray KeyedArchiver::archivedData(const QVariant &root, QString *error)
{
    KeyedArchiver archiver;
    uint64_t rootIndex = 0;
    try {
        rootIndex = archiver.m_state->encode(root, archiver);
    } catch (const UnarchivableValue &failure) {
        if (error)
            *error = failure.reason;
        return {};
    }
    std::unique_ptr<void, PlistDeleter> archive(plist_new_dict());
    plist_dict_set_item(archive.get(), "$version", plist_new_uint(100000));
    plist_dict_set_item(archive.get(), "$archiver", plist_new_string("NSKeyedArchiver"));
    plist_t top = plist_new_dict();
    plist_dict_set_item(top, "root", plist_new_uid(rootIndex));
    plist_dict_set_item(archive.get(), "$top", top);
    plist_dict_set_item(archive.get(), "$objects", archiver.m_state->objects.release());
    char *bytes = nullptr;
    uint32_t length = 0;
    plist_to_bin(archive.get(), &bytes, &length);
    if (!bytes) {
        if (error)
            *error = QStringLiteral("the property list could not be written");
        return {};
    }
    QByteArray result(bytes, qsizetype(length));
    plist_to_bin_free(bytes);
    return result;
}

void KeyedArchiver::encodeObject(const QVariant &value, const QString &key)
{
    if (m_state->openObjects.empty())
        return;
    const uint64_t index = m_state->encode(value, *this);
    plist_dict_set_item(m_state->openObjects.back(), key.toUtf8().constData(), plist_new_uid(index));
}

void KeyedArchiver::encodeString(const QString &value, const QString &key)
{
    encodeObject(value.isNull() ? QVariant() : QVariant(value), key);
}

void KeyedArchiver::encodeBool(bool value, const QString &key)
{
    if (!m_state->openObjects.empty())
        plist_dict_set_item(m_state->openObjects.back(), key.toUtf8().constData(), plist_new_bool(value));
}

void KeyedArchiver::encodeInt(qint64 value, const QString &key)
{
    if (!m_state->openObjects.empty())
        plist_dict_set_item(m_state->openObjects.back(), key.toUtf8().constData(), plist_new_uint(uint64_t(value)));
}

void KeyedArchiver::encodeDouble(double value, const QString &key)
{
    if (!m_state->openObjects.empty())
        plist_dict_set_item(m_state->openObjects.back(), key.toUtf8().constData(), plist_new_real(value));
}

#include "platform/KeyedUnarchiver.h"

#include "platform/BinaryPropertyListCheck.h"

#include <QDateTime>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>

#include <plist/plist.h>

#include <vector>

const QString KeyedUnarchiver::ErrorDomain = QStringLiteral("com.Orvana.KeyedArchive");

namespace {

struct PlistDeleter {
    void operator()(plist_t node) const { plist_free(node); }
};

// Raised inside the unarchiver when the archive is refused.
struct RefusedArchive {
    QString reason;
};

[[noreturn]] void refuse(const QString &reason)
{
    throw RefusedArchive{reason};
}

// Seconds between 1970-01-01 and 2001-01-01, the epoch of archived dates.
constexpr qint64 ReferenceDateOffset = 978307200;

QString stringValue(plist_t node)
{
    uint64_t length = 0;
    const char *text = plist_get_string_ptr(node, &length);
    return text ? QString::fromUtf8(text, qsizetype(length)) : QString();
}

plist_t dictItem(plist_t dict, const char *key)
{
    return plist_get_node_type(dict) == PLIST_DICT ? plist_dict_get_item(dict, key) : nullptr;
}

} // namespace

struct KeyedUnarchiver::State {
    plist_t objects = nullptr;
    uint32_t objectCount = 0;
    std::vector<std::optional<QVariant>> decoded;
    std::vector<bool> inProgress;
    // The dictionaries of the objects being decoded by factories, innermost last.
    std::vector<plist_t> openObjects;
    int depth = 0;
};

KeyedUnarchiver::KeyedUnarchiver() = default;
KeyedUnarchiver::~KeyedUnarchiver() = default;

void KeyedUnarchiver::registerClass(const QString &className, Factory factory)
{
    m_factories.insert(className, std::move(factory));
}

namespace {

class Decoder {
public:
    Decoder(KeyedUnarchiver::State &state, const QHash<QString, KeyedUnarchiver::Factory> &factories,
            KeyedUnarchiver &unarchiver)
        : m_state(state), m_factories(factories), m_unarchiver(unarchiver)
    {
    }

    QVariant value(plist_t node)
    {
        switch (plist_get_node_type(node)) {
        case PLIST_UID: {
            uint64_t index = 0;
            plist_get_uid_val(node, &index);
            return object(index);
        }
        case PLIST_STRING:
            return stringValue(node);
        case PLIST_BOOLEAN: {
            uint8_t flag = 0;
            plist_get_bool_val(node, &flag);
            return bool(flag);
        }
        case PLIST_UINT: {
            uint64_t number = 0;
            plist_get_uint_val(node, &number);
            return qint64(number);
        }
        case PLIST_REAL: {
            double number = 0;
            plist_get_real_val(node, &number);
            return number;
        }
        case PLIST_DATA: {
            uint64_t length = 0;
            const char *bytes = plist_get_data_ptr(node, &length);
            return QByteArray(bytes, qsizetype(length));
        }
        case PLIST_DATE: {
            int32_t seconds = 0;
            int32_t microseconds = 0;
            plist_get_date_val(node, &seconds, &microseconds);
            return QDateTime::fromMSecsSinceEpoch((qint64(seconds) + ReferenceDateOffset) * 1000 + microseconds / 1000,
                                                  Qt::UTC);
        }
        default:
            refuse(QStringLiteral("a value of an unexpected kind"));
        }
    }

    QVariant object(uint64_t index)
    {
        if (index >= m_state.objectCount)
            refuse(QStringLiteral("a reference to object %1 of %2").arg(index).arg(m_state.objectCount));
        if (index == 0)
            return {};
        if (m_state.decoded[index])
            return *m_state.decoded[index];
        if (m_state.inProgress[index])
            refuse(QStringLiteral("object %1 refers to itself").arg(index));
        if (m_state.depth >= KeyedUnarchiver::MaximumDepth)
            refuse(QStringLiteral("objects nested deeper than %1 levels").arg(KeyedUnarchiver::MaximumDepth));
        m_state.inProgress[index] = true;
        ++m_state.depth;
        QVariant result = build(plist_array_get_item(m_state.objects, uint32_t(index)));
        --m_state.depth;
        m_state.inProgress[index] = false;
        m_state.decoded[index] = result;
        return result;
    }

private:
    QVariant build(plist_t node)
    {
        if (plist_get_node_type(node) != PLIST_DICT)
            return value(node);
        plist_t classReference = plist_dict_get_item(node, "$class");
        if (!classReference || plist_get_node_type(classReference) != PLIST_UID)
            refuse(QStringLiteral("an object without a class"));
        uint64_t classIndex = 0;
        plist_get_uid_val(classReference, &classIndex);
        if (classIndex == 0 || classIndex >= m_state.objectCount)
            refuse(QStringLiteral("a class reference out of range"));
        plist_t classRecord = plist_array_get_item(m_state.objects, uint32_t(classIndex));
        plist_t className = dictItem(classRecord, "$classname");
        if (!className || plist_get_node_type(className) != PLIST_STRING)
            refuse(QStringLiteral("a class record without a name"));
        QStringList names{stringValue(className)};
        if (plist_t classes = dictItem(classRecord, "$classes"); classes && plist_get_node_type(classes) == PLIST_ARRAY) {
            const uint32_t count = plist_array_get_size(classes);
            for (uint32_t item = 0; item < count; ++item) {
                plist_t entry = plist_array_get_item(classes, item);
                if (plist_get_node_type(entry) == PLIST_STRING)
                    names.append(stringValue(entry));
            }
        }
        for (const QString &name : std::as_const(names)) {
            const auto factory = m_factories.constFind(name);
            if (factory != m_factories.constEnd())
                return coded(node, name, factory.value());
            if (std::optional<QVariant> builtIn = buildIn(node, name))
                return *builtIn;
        }
        refuse(QStringLiteral("the class %1 is not known").arg(names.first()));
    }

    QVariant coded(plist_t node, const QString &name, const KeyedUnarchiver::Factory &factory)
    {
        m_state.openObjects.push_back(node);
        KeyedCodablePtr object;
        try {
            object = factory(m_unarchiver);
        } catch (...) {
            m_state.openObjects.pop_back();
            throw;
        }
        m_state.openObjects.pop_back();
        if (!object)
            refuse(QStringLiteral("an object of class %1 could not be restored").arg(name));
        return QVariant::fromValue(object);
    }

    std::vector<plist_t> uidArray(plist_t node, const char *key, bool required)
    {
        plist_t array = plist_dict_get_item(node, key);
        if (!array) {
            if (required)
                refuse(QStringLiteral("a collection without %1").arg(QLatin1String(key)));
            return {};
        }
        if (plist_get_node_type(array) != PLIST_ARRAY)
            refuse(QStringLiteral("%1 is not an array").arg(QLatin1String(key)));
        const uint32_t count = plist_array_get_size(array);
        std::vector<plist_t> items;
        items.reserve(count);
        for (uint32_t index = 0; index < count; ++index)
            items.push_back(plist_array_get_item(array, index));
        return items;
    }

    std::optional<QVariant> buildIn(plist_t node, const QString &name)
    {
        if (name == u"NSDictionary" || name == u"NSMutableDictionary") {
            const std::vector<plist_t> keys = uidArray(node, "NS.keys", true);
            const std::vector<plist_t> values = uidArray(node, "NS.objects", true);
            if (keys.size() != values.size())
                refuse(QStringLiteral("a dictionary with %1 keys and %2 values").arg(keys.size()).arg(values.size()));
            QVariantMap map;
            for (size_t index = 0; index < keys.size(); ++index) {
                const QVariant key = value(keys[index]);
                if (key.metaType().id() != QMetaType::QString && key.metaType().id() != QMetaType::LongLong
                    && key.metaType().id() != QMetaType::Double)
                    refuse(QStringLiteral("a dictionary key that is not a string"));
                map.insert(key.toString(), value(values[index]));
            }
            return QVariant(map);
        }
        if (name == u"NSArray" || name == u"NSMutableArray" || name == u"NSSet" || name == u"NSMutableSet"
            || name == u"NSOrderedSet" || name == u"NSMutableOrderedSet") {
            QVariantList list;
            for (plist_t item : uidArray(node, "NS.objects", true))
                list.append(value(item));
            return QVariant(list);
        }
        if (name == u"NSString" || name == u"NSMutableString") {
            plist_t text = plist_dict_get_item(node, "NS.string");
            if (!text || plist_get_node_type(text) != PLIST_STRING)
                refuse(QStringLiteral("a string object without text"));
            return QVariant(stringValue(text));
        }
        if (name == u"NSData" || name == u"NSMutableData") {
            plist_t bytes = plist_dict_get_item(node, "NS.bytes");
            if (!bytes || plist_get_node_type(bytes) != PLIST_DATA)
                refuse(QStringLiteral("a data object without bytes"));
            return value(bytes);
        }
        if (name == u"NSDate") {
            plist_t time = plist_dict_get_item(node, "NS.time");
            if (!time || plist_get_node_type(time) != PLIST_REAL)
                refuse(QStringLiteral("a date object without a time"));
            double seconds = 0;
            plist_get_real_val(time, &seconds);
            if (!(seconds > -1e11 && seconds < 1e11))
                refuse(QStringLiteral("a date out of range"));
            return QVariant(QDateTime::fromMSecsSinceEpoch(qint64((seconds + double(ReferenceDateOffset)) * 1000.0),
                                                           Qt::UTC));
        }
        if (name == u"NSNull")
            return QVariant();
        return std::nullopt;
    }

    KeyedUnarchiver::State &m_state;
    const QHash<QString, KeyedUnarchiver::Factory> &m_factories;
    KeyedUnarchiver &m_unarchiver;
};

} // namespace

std::optional<QVariant> KeyedUnarchiver::unarchive(const QByteArray &data, ErrorRecord *error)
{
    auto failed = [error](const QString &reason) -> std::optional<QVariant> {
        if (error)
            *error = ErrorRecord::withDescription(ErrorDomain, 1,
                                                  QStringLiteral("The archive cannot be read: %1.").arg(reason));
        return std::nullopt;
    };
    if (data.isEmpty())
        return failed(QStringLiteral("it is empty"));
    if (data.size() > MaximumArchiveSize)
        return failed(QStringLiteral("it is larger than %1 bytes").arg(MaximumArchiveSize));
    // Only binary archives are read: they are checked before libplist sees
    // them (its parsers recurse without bounds).
    if (const QString problem = BinaryPropertyListCheck::problem(data); !problem.isEmpty())
        return failed(problem);
    plist_t parsed = nullptr;
    plist_from_bin(data.constData(), uint32_t(data.size()), &parsed);
    std::unique_ptr<void, PlistDeleter> archive(parsed);
    if (!parsed || plist_get_node_type(parsed) != PLIST_DICT)
        return failed(QStringLiteral("it is not a property list of an archive"));
    plist_t objects = plist_dict_get_item(parsed, "$objects");
    plist_t top = plist_dict_get_item(parsed, "$top");
    if (!objects || plist_get_node_type(objects) != PLIST_ARRAY || !top || plist_get_node_type(top) != PLIST_DICT)
        return failed(QStringLiteral("it has no objects"));
    plist_t root = plist_dict_get_item(top, "root");
    if (!root || plist_get_node_type(root) != PLIST_UID)
        return failed(QStringLiteral("it has no root object"));

    State state;
    state.objects = objects;
    state.objectCount = plist_array_get_size(objects);
    state.decoded.resize(state.objectCount);
    state.inProgress.resize(state.objectCount, false);
    State *previous = m_state;
    m_state = &state;
    std::optional<QVariant> result;
    QString reason;
    try {
        Decoder decoder(state, m_factories, *this);
        uint64_t index = 0;
        plist_get_uid_val(root, &index);
        result = decoder.object(index);
    } catch (const RefusedArchive &refused) {
        reason = refused.reason;
    } catch (const std::bad_alloc &) {
        reason = QStringLiteral("out of memory");
    } catch (...) {
        reason = QStringLiteral("an object could not be restored");
    }
    m_state = previous;
    if (!result)
        return failed(reason);
    return result;
}

bool KeyedUnarchiver::containsValue(const QString &key) const
{
    if (!m_state || m_state->openObjects.empty())
        return false;
    return plist_dict_get_item(m_state->openObjects.back(), key.toUtf8().constData()) != nullptr;
}

QVariant KeyedUnarchiver::decodeObject(const QString &key)
{
    if (!m_state || m_state->openObjects.empty())
        return {};
    plist_t node = plist_dict_get_item(m_state->openObjects.back(), key.toUtf8().constData());
    if (!node)
        return {};
    Decoder decoder(*m_state, m_factories, *this);
    return decoder.value(node);
}

QString KeyedUnarchiver::decodeString(const QString &key)
{
    const QVariant value = decodeObject(key);
    return value.metaType().id() == QMetaType::QString ? value.toString() : QString();
}

bool KeyedUnarchiver::decodeBool(const QString &key)
{
    return decodeObject(key).toBool();
}

qint64 KeyedUnarchiver::decodeInt(const QString &key)
{
    return decodeObject(key).toLongLong();
}

double KeyedUnarchiver::decodeDouble(const QString &key)
{
    return decodeObject(key).toDouble();
}

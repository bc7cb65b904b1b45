#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"

#include <QPointF>
#include <QVariantList>
#include <QVariantMap>

#include <plist/plist.h>

#include <gtest/gtest.h>

namespace {

class Song : public KeyedCodable {
public:
    QString archiveClassName() const override { return QStringLiteral("Song"); }
    QStringList archiveClassHierarchy() const override { return {QStringLiteral("Song"), QStringLiteral("NSObject")}; }
    void encodeWithCoder(KeyedArchiver &coder) const override
    {
        coder.encodeString(title, QStringLiteral("Title"));
        coder.encodeInt(seconds, QStringLiteral("Seconds"));
        coder.encodeBool(favourite, QStringLiteral("Favourite"));
        coder.encodeObject(QVariant::fromValue(next), QStringLiteral("Next"));
    }
    static KeyedCodablePtr decode(KeyedUnarchiver &coder)
    {
        auto song = std::make_shared<Song>();
        song->title = coder.decodeString(QStringLiteral("Title"));
        song->seconds = coder.decodeInt(QStringLiteral("Seconds"));
        song->favourite = coder.decodeBool(QStringLiteral("Favourite"));
        song->next = coder.decodeObject(QStringLiteral("Next")).value<KeyedCodablePtr>();
        return song;
    }

    QString title;
    qint64 seconds = 0;
    bool favourite = false;
    KeyedCodablePtr next;
};

struct PlistFree {
    void operator()(plist_t node) const { plist_free(node); }
};
using Plist = std::unique_ptr<void, PlistFree>;

QByteArray binary(plist_t node)
{
    char *bytes = nullptr;
    uint32_t length = 0;
    plist_to_bin(node, &bytes, &length);
    QByteArray result(bytes, length);
    plist_to_bin_free(bytes);
    return result;
}

plist_t classRecord(const char *name, std::initializer_list<const char *> classes)
{
    plist_t record = plist_new_dict();
    plist_dict_set_item(record, "$classname", plist_new_string(name));
    plist_t list = plist_new_array();
    for (const char *entry : classes)
        plist_array_append_item(list, plist_new_string(entry));
    plist_dict_set_item(record, "$classes", list);
    return record;
}

// An archive in the standard layout around the given objects ($null first).
QByteArray archiveAround(plist_t objects, uint64_t root = 1)
{
    Plist archive(plist_new_dict());
    plist_dict_set_item(archive.get(), "$version", plist_new_uint(100000));
    plist_dict_set_item(archive.get(), "$archiver", plist_new_string("NSKeyedArchiver"));
    plist_t top = plist_new_dict();
    plist_dict_set_item(top, "root", plist_new_uid(root));
    plist_dict_set_item(archive.get(), "$top", top);
    plist_dict_set_item(archive.get(), "$objects", objects);
    return binary(archive.get());
}

plist_t arrayOf(std::initializer_list<uint64_t> references, uint64_t classIndex)
{
    plist_t object = plist_new_dict();
    plist_t items = plist_new_array();
    for (uint64_t reference : references)
        plist_array_append_item(items, plist_new_uid(reference));
    plist_dict_set_item(object, "NS.objects", items);
    plist_dict_set_item(object, "$class", plist_new_uid(classIndex));
    return object;
}

std::optional<QVariant> unarchive(const QByteArray &data, ErrorRecord *error = nullptr)
{
    KeyedUnarchiver unarchiver;
    unarchiver.registerClass(QStringLiteral("Song"), &Song::decode);
    return unarchiver.unarchive(data, error);
}

} // namespace

TEST(KeyedArchive, WritesTheStandardLayout)
{
    const QByteArray data = KeyedArchiver::archivedData(QVariantMap{{QStringLiteral("k"), QStringLiteral("v")}});
    ASSERT_TRUE(data.startsWith("bplist00"));
    plist_t parsed = nullptr;
    plist_from_bin(data.constData(), uint32_t(data.size()), &parsed);
    Plist archive(parsed);
    ASSERT_TRUE(parsed);
    uint64_t version = 0;
    plist_get_uint_val(plist_dict_get_item(parsed, "$version"), &version);
    EXPECT_EQ(version, 100000u);
    EXPECT_EQ(plist_string_val_compare(plist_dict_get_item(parsed, "$archiver"), "NSKeyedArchiver"), 0);
    plist_t objects = plist_dict_get_item(parsed, "$objects");
    EXPECT_EQ(plist_string_val_compare(plist_array_get_item(objects, 0), "$null"), 0);
    plist_t root = plist_array_get_item(objects, 1);
    ASSERT_EQ(plist_get_node_type(root), PLIST_DICT);
    ASSERT_TRUE(plist_dict_get_item(root, "NS.keys"));
    ASSERT_TRUE(plist_dict_get_item(root, "NS.objects"));
    uint64_t classIndex = 0;
    plist_get_uid_val(plist_dict_get_item(root, "$class"), &classIndex);
    plist_t record = plist_array_get_item(objects, uint32_t(classIndex));
    EXPECT_EQ(plist_string_val_compare(plist_dict_get_item(record, "$classname"), "NSDictionary"), 0);
}

TEST(KeyedArchive, ValuesAndObjectsRoundTrip)
{
    auto second = std::make_shared<Song>();
    second->title = QStringLiteral("Zweite \u00c4ra");
    auto first = std::make_shared<Song>();
    first->title = QStringLiteral("First");
    first->seconds = -42;
    first->favourite = true;
    first->next = second;
    const QVariantMap root{{QStringLiteral("text"), QStringLiteral("a & b")},
                           {QStringLiteral("flag"), true},
                           {QStringLiteral("number"), 7},
                           {QStringLiteral("real"), 2.5},
                           {QStringLiteral("bytes"), QByteArray("\x00\x01", 2)},
                           {QStringLiteral("list"), QVariantList{1, QStringLiteral("two")}},
                           {QStringLiteral("nothing"), QVariant()},
                           {QStringLiteral("song"), QVariant::fromValue<KeyedCodablePtr>(first)},
                           {QStringLiteral("same song"), QVariant::fromValue<KeyedCodablePtr>(first)}};
    QString problem;
    const QByteArray data = KeyedArchiver::archivedData(root, &problem);
    ASSERT_FALSE(data.isEmpty()) << problem.toStdString();
    ErrorRecord error;
    const std::optional<QVariant> restored = unarchive(data, &error);
    ASSERT_TRUE(restored) << error.localizedDescription().toStdString();
    const QVariantMap map = restored->toMap();
    EXPECT_EQ(map.value(QStringLiteral("text")).toString(), QStringLiteral("a & b"));
    EXPECT_EQ(map.value(QStringLiteral("flag")), QVariant(true));
    EXPECT_EQ(map.value(QStringLiteral("number")).toLongLong(), 7);
    EXPECT_EQ(map.value(QStringLiteral("real")).toDouble(), 2.5);
    EXPECT_EQ(map.value(QStringLiteral("bytes")).toByteArray(), QByteArray("\x00\x01", 2));
    EXPECT_EQ(map.value(QStringLiteral("list")).toList(), (QVariantList{qint64(1), QStringLiteral("two")}));
    EXPECT_TRUE(map.contains(QStringLiteral("nothing")));
    EXPECT_FALSE(map.value(QStringLiteral("nothing")).isValid());
    const auto song = std::dynamic_pointer_cast<Song>(map.value(QStringLiteral("song")).value<KeyedCodablePtr>());
    ASSERT_TRUE(song);
    EXPECT_EQ(song->title, QStringLiteral("First"));
    EXPECT_EQ(song->seconds, -42);
    EXPECT_TRUE(song->favourite);
    const auto next = std::dynamic_pointer_cast<Song>(song->next);
    ASSERT_TRUE(next);
    EXPECT_EQ(next->title, QStringLiteral("Zweite \u00c4ra"));
    EXPECT_TRUE(next->title.size() > 0 && !next->next);
    // One object archived twice is restored as one object.
    EXPECT_EQ(map.value(QStringLiteral("same song")).value<KeyedCodablePtr>(), song);
}

TEST(KeyedArchive, ValuesThatCannotBeArchivedAreRefused)
{
    QString problem;
    EXPECT_TRUE(KeyedArchiver::archivedData(QVariant::fromValue(QPointF(1, 2)), &problem).isEmpty());
    EXPECT_FALSE(problem.isEmpty());
}

TEST(KeyedArchive, ReadsAnArchiveOfAnotherWriter)
{
    // Mutable collections, string objects and a class known only through its
    // parent class, laid out differently from this archiver's output.
    plist_t objects = plist_new_array();
    plist_array_append_item(objects, plist_new_string("$null"));
    plist_t root = plist_new_dict();  // 1
    plist_t keys = plist_new_array();
    plist_array_append_item(keys, plist_new_uid(3));
    plist_array_append_item(keys, plist_new_uid(5));
    plist_t values = plist_new_array();
    plist_array_append_item(values, plist_new_uid(4));
    plist_array_append_item(values, plist_new_uid(6));
    plist_dict_set_item(root, "NS.keys", keys);
    plist_dict_set_item(root, "NS.objects", values);
    plist_dict_set_item(root, "$class", plist_new_uid(2));
    plist_array_append_item(objects, root);
    plist_array_append_item(objects, classRecord("NSMutableDictionary", {"NSMutableDictionary", "NSDictionary", "NSObject"}));
    plist_array_append_item(objects, plist_new_string("Name"));  // 3
    plist_t mutableString = plist_new_dict();                   // 4
    plist_dict_set_item(mutableString, "NS.string", plist_new_string("Kitchen"));
    plist_dict_set_item(mutableString, "$class", plist_new_uid(7));
    plist_array_append_item(objects, mutableString);
    plist_array_append_item(objects, plist_new_string("Song"));  // 5
    plist_t song = plist_new_dict();                              // 6
    plist_dict_set_item(song, "Title", plist_new_uid(3));
    plist_dict_set_item(song, "Seconds", plist_new_uint(9));
    plist_dict_set_item(song, "$class", plist_new_uid(8));
    plist_array_append_item(objects, song);
    plist_array_append_item(objects, classRecord("NSMutableString", {"NSMutableString", "NSString", "NSObject"}));
    plist_array_append_item(objects, classRecord("FancySong", {"FancySong", "Song", "NSObject"}));

    ErrorRecord error;
    const std::optional<QVariant> restored = unarchive(archiveAround(objects), &error);
    ASSERT_TRUE(restored) << error.localizedDescription().toStdString();
    const QVariantMap map = restored->toMap();
    EXPECT_EQ(map.value(QStringLiteral("Name")).toString(), QStringLiteral("Kitchen"));
    const auto decoded = std::dynamic_pointer_cast<Song>(map.value(QStringLiteral("Song")).value<KeyedCodablePtr>());
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->title, QStringLiteral("Name"));
    EXPECT_EQ(decoded->seconds, 9);
}

TEST(KeyedArchive, HostileArchivesAreRefused)
{
    auto refused = [](const QByteArray &data) {
        ErrorRecord error;
        const bool failed = !unarchive(data, &error).has_value();
        if (failed) {
            EXPECT_EQ(error.domain(), KeyedUnarchiver::ErrorDomain);
        }
        return failed;
    };
    auto withArray = [](std::initializer_list<uint64_t> references) {
        plist_t objects = plist_new_array();
        plist_array_append_item(objects, plist_new_string("$null"));
        plist_array_append_item(objects, arrayOf(references, 2));
        plist_array_append_item(objects, classRecord("NSArray", {"NSArray", "NSObject"}));
        return archiveAround(objects);
    };
    EXPECT_FALSE(refused(withArray({0})));
    EXPECT_TRUE(refused(withArray({1})));             // contains itself
    EXPECT_TRUE(refused(withArray({99})));            // out of range
    EXPECT_TRUE(refused(withArray({2})));             // a class record as a value
    {
        plist_t objects = plist_new_array();
        plist_array_append_item(objects, plist_new_string("$null"));
        plist_array_append_item(objects, arrayOf({}, 2));
        plist_array_append_item(objects, classRecord("Unknown", {"Unknown", "NSObject"}));
        EXPECT_TRUE(refused(archiveAround(objects)));
    }
    {
        // Keys and values of different counts.
        plist_t objects = plist_new_array();
        plist_array_append_item(objects, plist_new_string("$null"));
        plist_t dict = arrayOf({0, 0}, 2);
        plist_t keys = plist_new_array();
        plist_array_append_item(keys, plist_new_uid(0));
        plist_dict_set_item(dict, "NS.keys", keys);
        plist_array_append_item(objects, dict);
        plist_array_append_item(objects, classRecord("NSDictionary", {"NSDictionary", "NSObject"}));
        EXPECT_TRUE(refused(archiveAround(objects)));
    }
    {
        // Objects nested through references far deeper than any archive needs.
        plist_t objects = plist_new_array();
        plist_array_append_item(objects, plist_new_string("$null"));
        plist_array_append_item(objects, classRecord("NSArray", {"NSArray", "NSObject"}));
        for (uint64_t index = 2; index < 5002; ++index)
            plist_array_append_item(objects, arrayOf({index + 1 < 5002 ? index + 1 : 0}, 1));
        EXPECT_TRUE(refused(archiveAround(objects, 2)));
    }
    EXPECT_TRUE(refused(QByteArray()));
    EXPECT_TRUE(refused(QByteArray("bplist00") + QByteArray(40, '\xff')));
    EXPECT_TRUE(refused(QByteArray("<?xml version=\"1.0\"?><plist><dict/></plist>")));
}

TEST(KeyedArchive, DeepOrExplodingPropertyListsAreRefusedBeforeParsing)
{
    // Arrays inside arrays in the property list itself, and a chain of arrays
    // each holding the next one twice (2^40 objects when expanded).
    auto chain = [](int count, int copies) {
        QByteArray data("bplist00");
        QList<quint32> offsets;
        for (int index = 0; index < count; ++index) {
            offsets.append(quint32(data.size()));
            if (index == count - 1) {
                data.append('\x10').append('\x00');
                continue;
            }
            data.append(char(0xA0 | copies));
            for (int copy = 0; copy < copies; ++copy) {
                const quint32 next = quint32(index + 1);
                data.append(char(next >> 24)).append(char(next >> 16)).append(char(next >> 8)).append(char(next));
            }
        }
        const quint64 table = quint64(data.size());
        for (quint32 offset : offsets)
            data.append(char(offset >> 24)).append(char(offset >> 16)).append(char(offset >> 8)).append(char(offset));
        QByteArray trailer(32, '\0');
        trailer[6] = 4;
        trailer[7] = 4;
        for (int byte = 0; byte < 8; ++byte) {
            trailer[8 + byte] = char(quint64(count) >> (56 - 8 * byte));
            trailer[24 + byte] = char(table >> (56 - 8 * byte));
        }
        data.append(trailer);
        return data;
    };
    ErrorRecord error;
    EXPECT_FALSE(unarchive(chain(200000, 1), &error).has_value());
    EXPECT_TRUE(error.localizedDescription().contains(QStringLiteral("nested"))) << error.localizedDescription().toStdString();
    EXPECT_FALSE(unarchive(chain(41, 2), &error).has_value());
    EXPECT_TRUE(error.localizedDescription().contains(QStringLiteral("expands"))) << error.localizedDescription().toStdString();
}

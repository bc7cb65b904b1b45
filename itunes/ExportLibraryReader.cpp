#include "itunes/ExportLibraryReader.h"

#include "platform/ValueLimit.h"
#include "xml/XmlPushParser.h"

#include <QCryptographicHash>
#include <QFileInfo>

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <utility>

const QString ExportLibraryReader::ErrorDomain = QStringLiteral("LibraryExportErrorDomain");

namespace {

enum class Field {
    Unknown,
    PersistentID, Location, Name, Artist, AlbumArtist, Album, Composer, Genre,
    Size, TotalTime,
    DiscNumber, DiscCount, TrackNumber, TrackCount, Year, BitRate, SampleRate, TrackID,
    // Values outside the track dictionaries.
    PlaylistName, PlaylistPersistentID, PlaylistID, ItemTrackID, LibraryPersistentID, MusicFolder,
};

Field trackField(std::string_view key)
{
    struct Entry {
        std::string_view key;
        Field field;
    };
    static constexpr Entry entries[] = {
        {"Track ID", Field::TrackID},       {"Name", Field::Name},
        {"Artist", Field::Artist},          {"Album Artist", Field::AlbumArtist},
        {"Album", Field::Album},            {"Composer", Field::Composer},
        {"Genre", Field::Genre},            {"Size", Field::Size},
        {"Total Time", Field::TotalTime},   {"Disc Number", Field::DiscNumber},
        {"Disc Count", Field::DiscCount},   {"Track Number", Field::TrackNumber},
        {"Track Count", Field::TrackCount}, {"Year", Field::Year},
        {"Bit Rate", Field::BitRate},       {"Sample Rate", Field::SampleRate},
        {"Persistent ID", Field::PersistentID}, {"Location", Field::Location},
    };
    for (const Entry &entry : entries) {
        if (entry.key == key)
            return entry.field;
    }
    return Field::Unknown;
}

bool isBlank(QByteArrayView text)
{
    for (const char c : text) {
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r')
            return false;
    }
    return true;
}

std::string_view trimmed(const std::string &text)
{
    std::string_view view(text);
    while (!view.empty() && std::strchr(" \t\r\n", view.front()))
        view.remove_prefix(1);
    while (!view.empty() && std::strchr(" \t\r\n", view.back()))
        view.remove_suffix(1);
    return view;
}

std::optional<qint64> parseInteger(const std::string &text)
{
    const std::string_view view = trimmed(text);
    qint64 value = 0;
    const auto [end, error] = std::from_chars(view.data(), view.data() + view.size(), value);
    if (error != std::errc() || end != view.data() + view.size() || view.empty())
        return std::nullopt;
    return value;
}

std::optional<double> parseReal(const std::string &text)
{
    const std::string_view view = trimmed(text);
    double value = 0;
    const auto [end, error] = std::from_chars(view.data(), view.data() + view.size(), value);
    if (error != std::errc() || end != view.data() + view.size() || view.empty() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

QString quotedKey(const std::string &text)
{
    return u'"' + QString::fromUtf8(text.data(), qsizetype(qMin<size_t>(text.size(), 80))) + u'"';
}

// Persistent IDs name cover files and appear in the files on the share:
// letters, digits, '-' and '_' only, and not too long.
bool isUsablePersistentID(const QString &id)
{
    if (id.size() > 64)
        return false;
    for (const QChar c : id) {
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != u'-' && c != u'_')
            return false;
    }
    return true;
}

// The elements of a property list the reader tells apart.
enum class Element : unsigned char { Other, Plist, Dict, Array, Key, String, Integer, Real, True };

Element elementOf(QByteArrayView name)
{
    const auto is = [&](std::string_view literal) { return std::memcmp(name.data(), literal.data(), literal.size()) == 0; };
    switch (name.size()) {
    case 3: return is("key") ? Element::Key : Element::Other;
    case 4: return is("dict") ? Element::Dict : is("real") ? Element::Real : is("true") ? Element::True : Element::Other;
    case 5: return is("plist") ? Element::Plist : is("array") ? Element::Array : Element::Other;
    case 6: return is("string") ? Element::String : Element::Other;
    case 7: return is("integer") ? Element::Integer : Element::Other;
    default: return Element::Other;
    }
}

struct TextHash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
};

// Where the parse stands: the containers open around the current element.
enum class Container : unsigned char {
    Document, Plist, RootDict, TracksDict, TrackDict, PlaylistsArray, PlaylistDict, ItemsArray, ItemDict,
};

bool isDictionary(Container container)
{
    return container != Container::Document && container != Container::Plist && container != Container::PlaylistsArray
        && container != Container::ItemsArray;
}

} // namespace

// The property list read as a sequence of events: a stack of the open
// containers, the text of the current <key> or value, and a depth counter
// for the elements that are skipped whole.
class ExportLibraryReader::Parse : public XmlPushParser::Handler {
public:
    Parse(ExportLibraryReader &reader, bool dropControlCharacters)
        : parser(*this, XmlPushParser::Options{.dropControlCharacters = dropControlCharacters, .parseOnHelperThread = true}),
          m_reader(reader),
          m_contents(reader.m_contents)
    {
    }

    XmlPushParser parser;

    void startElement(QByteArrayView name, QByteArrayView, const XmlAttributes &) override
    {
        if (m_skipDepth > 0) {
            ++m_skipDepth;
            return;
        }
        if (m_text != Text::None)
            return fail(QStringLiteral("unexpected <%1> inside a text value").arg(QString::fromUtf8(name)));
        const Element element = elementOf(name);
        Level &top = m_levels.back();
        switch (top.container) {
        case Container::Document:
            if (element != Element::Plist)
                return fail(QStringLiteral("the file is not a property list"));
            return open(Container::Plist);
        case Container::Plist:
            if (m_rootRead)
                return skip();
            if (element != Element::Dict)
                return fail(QStringLiteral("the property list does not hold a dictionary"));
            m_rootRead = true;
            return open(Container::RootDict);
        case Container::PlaylistsArray:
            return startPlaylist(element);
        case Container::ItemsArray:
            return startItem(element);
        default:
            break;
        }
        if (!top.keyRead) {
            if (element != Element::Key)
                return fail(QStringLiteral("<%1> where a <key> belongs").arg(QString::fromUtf8(name)));
            m_key.clear();
            m_text = Text::Key;
            return;
        }
        top.keyRead = false;
        // The value of a key too long is skipped; a track listed under one
        // is read, then refused.
        const bool oversizedKey = std::exchange(m_oversizedKey, false);
        if (oversizedKey && top.container != Container::TracksDict)
            return skip();
        if (top.container == Container::TracksDict)
            m_oversizedTrack = oversizedKey;
        startValue(top.container, element);
    }

    void endElement() override
    {
        if (m_skipDepth > 0) {
            --m_skipDepth;
            return;
        }
        if (m_text == Text::Key) {
            m_text = Text::None;
            m_levels.back().keyRead = true;
            m_oversizedKey = m_oversizedText;
            if (m_oversizedText)
                noteOversizedText();
            return;
        }
        if (m_text == Text::Value) {
            m_text = Text::None;
            if (m_oversizedText)
                return noteOversizedText();
            endValue();
            return;
        }
        const Level top = m_levels.back();
        if (isDictionary(top.container) && top.keyRead)
            return fail(QStringLiteral("the key %1 has no value").arg(quotedKey(m_key)));
        m_levels.pop_back();
        switch (top.container) {
        case Container::Plist:
            if (!m_rootRead)
                fail(QStringLiteral("the property list does not hold a dictionary"));
            break;
        case Container::TrackDict:
            endTrack();
            break;
        case Container::PlaylistDict:
            endPlaylist();
            break;
        case Container::ItemDict:
            if (m_itemTrackID)
                m_playlist.trackIDs.push_back(*m_itemTrackID);
            else
                m_reader.leaveOut(QStringLiteral("playlist items without a \"Track ID\""), QStringLiteral("Playlist %1: an item has no \"Track ID\"").arg(m_playlist.name));
            break;
        default:
            break;
        }
    }

    void characters(QByteArrayView text) override
    {
        if (m_skipDepth > 0)
            return;
        if (m_text == Text::Key) {
            appendCapped(m_key, text);
            return;
        }
        if (m_text == Text::Value) {
            appendCapped(m_value, text);
            return;
        }
        if (isBlank(text))
            return;
        const Container container = m_levels.back().container;
        if (container == Container::Document)
            fail(QStringLiteral("unexpected text before the property list"));
        else if (container != Container::Plist || !m_rootRead)
            fail(QStringLiteral("unexpected text between elements"));
    }

private:
    enum class Text : unsigned char { None, Key, Value };
    struct Level {
        Container container;
        bool keyRead = false; // a dictionary's key is read, its value not yet
    };

    void fail(const QString &message) { parser.stop(message); }

    // Text beyond ValueLimit is dropped as it arrives, so that memory stays
    // bounded; the item holding it is refused when it ends.
    void appendCapped(std::string &text, QByteArrayView piece)
    {
        if (m_oversizedText)
            return;
        if (qsizetype(text.size()) + piece.size() > ValueLimit::Bytes) {
            m_oversizedText = true;
            std::string().swap(text);
            return;
        }
        text.append(piece.data(), size_t(piece.size()));
    }

    // A key or value that was too long has ended: its track or playlist is
    // refused; elsewhere the value is ignored.
    void noteOversizedText()
    {
        m_oversizedText = false;
        switch (m_levels.back().container) {
        case Container::TracksDict:
        case Container::TrackDict:
            m_oversizedTrack = true;
            break;
        case Container::PlaylistDict:
        case Container::ItemsArray:
        case Container::ItemDict:
            m_oversizedPlaylist = true;
            break;
        default:
            m_reader.warn(QStringLiteral("a value longer than %1 was ignored").arg(ValueLimit::text()));
            break;
        }
    }
    void open(Container container) { m_levels.push_back({container}); }
    void skip() { m_skipDepth = 1; }
    void readValue(Field field)
    {
        m_field = field;
        m_value.clear();
        m_text = Text::Value;
    }

    // A value of a dictionary starts; its key is in m_key.
    void startValue(Container dictionary, Element element)
    {
        switch (dictionary) {
        case Container::RootDict:
            if (m_key == "Tracks") {
                if (element == Element::Dict)
                    return open(Container::TracksDict);
                m_reader.warn(QStringLiteral("\"Tracks\" is not a dictionary"));
            } else if (m_key == "Library Persistent ID" && element == Element::String) {
                return readValue(Field::LibraryPersistentID);
            } else if (m_key == "Music Folder" && element == Element::String) {
                return readValue(Field::MusicFolder);
            } else if (m_key == "Playlists") {
                if (element == Element::Array)
                    return open(Container::PlaylistsArray);
                m_reader.warn(QStringLiteral("\"Playlists\" is not an array"));
            }
            return skip();
        case Container::TracksDict:
            if (element != Element::Dict) {
                ++m_contents.listedTrackCount;
                m_reader.leaveOut(QStringLiteral("entries of \"Tracks\" that are not dictionaries"), QStringLiteral("Track %1 is not a dictionary").arg(quotedKey(m_key)));
                return skip();
            }
            ++m_contents.listedTrackCount;
            m_dictionaryKey = m_key;
            m_track = {};
            m_trackID.reset();
            m_rawLocation.clear();
            return open(Container::TrackDict);
        case Container::TrackDict:
            return startTrackField(element);
        case Container::PlaylistDict:
            if (m_key == "Name" || m_key == "Playlist Persistent ID") {
                if (element == Element::String)
                    return readValue(m_key == "Name" ? Field::PlaylistName : Field::PlaylistPersistentID);
                m_reader.warn(QStringLiteral("Playlist %1: \"%2\" is not a string, ignored").arg(m_position).arg(QString::fromStdString(m_key)));
            } else if (m_key == "Playlist ID" && element == Element::Integer) {
                return readValue(Field::PlaylistID);
            } else if (m_key == "Master") {
                m_playlist.master = element == Element::True;
            } else if (m_key == "Playlist Items" && element == Element::Array) {
                return open(Container::ItemsArray);
            }
            return skip();
        case Container::ItemDict:
            if (m_key == "Track ID" && element == Element::Integer)
                return readValue(Field::ItemTrackID);
            return skip();
        default:
            return skip();
        }
    }

    void startTrackField(Element element)
    {
        const Field field = trackField(m_key);
        if (field == Field::Unknown)
            return skip();
        const bool isString = field <= Field::Genre;
        m_integer = element == Element::Integer;
        const bool acceptable = isString ? element == Element::String : (m_integer || (field == Field::TotalTime && element == Element::Real));
        if (!acceptable) {
            warnField(isString ? "is not a string, ignored" : "is not a number, ignored");
            return skip();
        }
        readValue(field);
    }

    // Artists, albums, composers and genres repeat from track to track: one
    // string for each value saves most of their allocations and memory.
    const QString &sharedText(const std::string &utf8)
    {
        if (const auto found = m_sharedTexts.find(std::string_view(utf8)); found != m_sharedTexts.end())
            return found->second;
        return m_sharedTexts.emplace(utf8, QString::fromUtf8(utf8.data(), qsizetype(utf8.size()))).first->second;
    }

    void warnField(const char *what)
    {
        m_reader.warn(QStringLiteral("Track %1: \"%2\" %3").arg(quotedKey(m_dictionaryKey), QString::fromStdString(m_key), QLatin1String(what)));
    }

    // The text of the value in m_value is complete.
    void endValue()
    {
        switch (m_field) {
        case Field::PlaylistName:
            m_playlist.name = QString::fromUtf8(m_value.data(), qsizetype(m_value.size()));
            return;
        case Field::PlaylistPersistentID:
            m_playlist.persistentID = QString::fromUtf8(m_value.data(), qsizetype(m_value.size())).trimmed();
            return;
        case Field::ItemTrackID:
            m_itemTrackID = parseInteger(m_value);
            return;
        case Field::PlaylistID:
            m_playlist.playlistID = parseInteger(m_value);
            return;
        case Field::LibraryPersistentID:
            m_contents.libraryPersistentID = QString::fromUtf8(m_value.data(), qsizetype(m_value.size())).trimmed();
            return;
        case Field::MusicFolder:
            m_contents.musicFolder = QString::fromUtf8(m_value.data(), qsizetype(m_value.size())).trimmed();
            return;
        default:
            return endTrackField();
        }
    }

    void endTrackField()
    {
        const Field field = m_field;
        if (field == Field::Location) {
            m_rawLocation.assign(m_value);
            return;
        }
        switch (field) {
        case Field::PersistentID: m_track.persistentID = QString::fromUtf8(m_value.data(), qsizetype(m_value.size())).trimmed(); return;
        case Field::Name: m_track.name = QString::fromUtf8(m_value.data(), qsizetype(m_value.size())); return;
        case Field::Artist: m_track.artist = sharedText(m_value); return;
        case Field::AlbumArtist: m_track.albumArtist = sharedText(m_value); return;
        case Field::Album: m_track.album = sharedText(m_value); return;
        case Field::Composer: m_track.composer = sharedText(m_value); return;
        case Field::Genre: m_track.genre = sharedText(m_value); return;
        default: break;
        }
        if (field == Field::TotalTime) {
            std::optional<double> milliseconds;
            if (!m_integer)
                milliseconds = parseReal(m_value);
            else if (const std::optional<qint64> whole = parseInteger(m_value))
                milliseconds = double(*whole);
            if (!milliseconds || *milliseconds < 0 || *milliseconds > 1e12)
                warnField("is out of range, ignored");
            else
                m_track.duration = *milliseconds / 1000.0;
            return;
        }
        const std::optional<qint64> number = parseInteger(m_value);
        if (field == Field::Size) {
            if (!number || *number < 0)
                warnField("is out of range, ignored");
            else
                m_track.size = *number;
            return;
        }
        if (!number || *number < std::numeric_limits<int>::min() || *number > std::numeric_limits<int>::max()) {
            warnField("is out of range, ignored");
            return;
        }
        const int value = int(*number);
        switch (field) {
        case Field::DiscNumber: m_track.discNumber = value; break;
        case Field::DiscCount: m_track.discCount = value; break;
        case Field::TrackNumber: m_track.trackNumber = value; break;
        case Field::TrackCount: m_track.trackCount = value; break;
        case Field::Year: m_track.year = value; break;
        case Field::BitRate: m_track.bitRate = value; break;
        case Field::SampleRate: m_track.sampleRate = value; break;
        case Field::TrackID: m_trackID = value; break;
        default: break;
        }
    }

    void endTrack()
    {
        if (!m_trackID) {
            const std::optional<qint64> fromKey = parseInteger(m_dictionaryKey);
            if (fromKey && *fromKey >= std::numeric_limits<int>::min() && *fromKey <= std::numeric_limits<int>::max())
                m_trackID = fromKey;
        }
        if (m_oversizedTrack) {
            m_reader.leaveOut(QStringLiteral("tracks with a value longer than %1").arg(ValueLimit::text()),
                              QStringLiteral("Track %1 has a value longer than %2, left out")
                                  .arg(quotedKey(m_dictionaryKey), ValueLimit::text()),
                              m_trackID);
            return;
        }
        if (!m_trackID) {
            m_reader.leaveOut(QStringLiteral("tracks without a \"Track ID\""), QStringLiteral("Track %1 has no \"Track ID\", left out").arg(quotedKey(m_dictionaryKey)));
            return;
        }
        // Exports of early versions give tracks no persistent ID: one is
        // derived from the library's and the track's IDs once all is read.
        const bool derived = m_track.persistentID.isEmpty();
        if (!derived && !isUsablePersistentID(m_track.persistentID)) {
            m_reader.leaveOut(QStringLiteral("tracks with an unusable \"Persistent ID\""), QStringLiteral("Track %1 has an unusable \"Persistent ID\", left out").arg(quotedKey(m_dictionaryKey)), *m_trackID);
            return;
        }
        // Two tracks under one persistent ID would be one song to the server:
        // the first keeps it, a later one is left out (and so are the
        // playlist items naming it, which would name the first one's song).
        const auto existing = m_contents.trackIndexByID.constFind(*m_trackID);
        if (existing != m_contents.trackIndexByID.cend())
            m_persistentIDOwners.remove(m_contents.tracks[size_t(existing.value())]->persistentID());
        if (!derived) {
            const auto owner = m_persistentIDOwners.constFind(m_track.persistentID);
            if (owner != m_persistentIDOwners.cend() && owner.value() != *m_trackID) {
                m_reader.leaveOut(QStringLiteral("tracks whose \"Persistent ID\" an earlier track has"),
                                  QStringLiteral("Track %1 has the \"Persistent ID\" %2 of track %3, left out")
                                      .arg(quotedKey(m_dictionaryKey), m_track.persistentID)
                                      .arg(owner.value()),
                                  *m_trackID);
                return;
            }
            m_persistentIDOwners.insert(m_track.persistentID, *m_trackID);
        }
        m_track.databaseID = int(*m_trackID);
        m_track.location = m_reader.m_locations.pathForLocation(QByteArrayView(m_rawLocation));
        if (existing != m_contents.trackIndexByID.cend()) {
            m_reader.leaveOut(QStringLiteral("tracks whose \"Track ID\" appears again later"), QStringLiteral("Track ID %1 appears twice, the later entry is kept").arg(*m_trackID));
            m_contents.tracks[size_t(existing.value())] = std::make_shared<ResolvedMusicTrack>(std::move(m_track));
            if (derived)
                m_contents.tracksWithoutPersistentID.push_back(*m_trackID);
            return;
        }
        m_contents.trackIndexByID.insert(*m_trackID, qsizetype(m_contents.tracks.size()));
        m_contents.tracks.push_back(std::make_shared<ResolvedMusicTrack>(std::move(m_track)));
        if (derived)
            m_contents.tracksWithoutPersistentID.push_back(*m_trackID);
    }

    // An element of "Playlists" starts.
    void startPlaylist(Element element)
    {
        ++m_position;
        if (element != Element::Dict) {
            m_reader.leaveOut(QStringLiteral("playlists that are not dictionaries"), QStringLiteral("Playlist %1 is not a dictionary").arg(m_position));
            return skip();
        }
        m_playlist = {};
        m_oversizedPlaylist = false;
        open(Container::PlaylistDict);
    }

    void endPlaylist()
    {
        if (m_playlist.name.isNull())
            m_playlist.name = QStringLiteral("");
        if (m_oversizedPlaylist) {
            m_reader.leaveOut(QStringLiteral("playlists with a value longer than %1").arg(ValueLimit::text()),
                              QStringLiteral("Playlist %1 (%2) has a value longer than %3, left out")
                                  .arg(m_position)
                                  .arg(m_playlist.name, ValueLimit::text()));
            return;
        }
        if (!m_playlist.master && m_playlist.persistentID.isEmpty() && !m_playlist.playlistID) {
            m_reader.leaveOut(QStringLiteral("playlists without a \"Playlist Persistent ID\" or \"Playlist ID\""), QStringLiteral("Playlist %1 (%2) has no \"Playlist Persistent ID\", left out").arg(m_position).arg(m_playlist.name));
            return;
        }
        // As for tracks: the first playlist keeps a persistent ID given twice.
        if (!m_playlist.persistentID.isEmpty()) {
            if (const auto owner = m_playlistIDOwners.constFind(m_playlist.persistentID); owner != m_playlistIDOwners.cend()) {
                m_reader.leaveOut(QStringLiteral("playlists whose \"Playlist Persistent ID\" an earlier playlist has"),
                                  QStringLiteral("Playlist %1 (%2) has the \"Playlist Persistent ID\" of playlist %3 (%4), left out")
                                      .arg(m_position)
                                      .arg(m_playlist.name)
                                      .arg(owner.value().first)
                                      .arg(owner.value().second));
                return;
            }
            m_playlistIDOwners.insert(m_playlist.persistentID, {m_position, m_playlist.name});
        }
        m_contents.playlists.push_back(std::move(m_playlist));
    }

    // An element of a playlist's "Playlist Items" starts.
    void startItem(Element element)
    {
        if (element != Element::Dict) {
            m_reader.leaveOut(QStringLiteral("playlist items that are not dictionaries"), QStringLiteral("Playlist %1: an item is not a dictionary").arg(m_playlist.name));
            return skip();
        }
        m_itemTrackID.reset();
        open(Container::ItemDict);
    }

    ExportLibraryReader &m_reader;
    ExportLibraryContents &m_contents;
    std::vector<Level> m_levels{{Container::Document}};
    int m_skipDepth = 0;
    bool m_rootRead = false;
    Text m_text = Text::None;
    Field m_field = Field::Unknown;
    bool m_integer = false;
    // A key or value went past ValueLimit, and the item holding it.
    bool m_oversizedText = false;
    bool m_oversizedKey = false;
    bool m_oversizedTrack = false;
    bool m_oversizedPlaylist = false;
    std::string m_key;
    std::string m_value;
    // The track being read, with the key it stands under in "Tracks".
    std::string m_dictionaryKey;
    MusicTrackProperties m_track;
    std::optional<qint64> m_trackID;
    std::string m_rawLocation; // as written, percent-encoded UTF-8
    // The playlist being read and its position in "Playlists".
    int m_position = 0;
    ExportLibraryContents::Playlist m_playlist;
    std::optional<qint64> m_itemTrackID;
    std::unordered_map<std::string, QString, TextHash, std::equal_to<>> m_sharedTexts;
    // The Track ID that holds each persistent ID read so far.
    QHash<QString, qint64> m_persistentIDOwners;
    // The position and name of the playlist that holds each persistent ID.
    QHash<QString, QPair<int, QString>> m_playlistIDOwners;
};

ExportLibraryReader::ExportLibraryReader(FileLocationMapper locations) : m_locations(std::move(locations)) {}

void ExportLibraryReader::clear()
{
    m_warnings.clear();
    m_warningCount = 0;
    m_leftOut.clear();
    m_leftOutTracks.clear();
    m_contents = {};
}

bool ExportLibraryReader::read(const std::function<bool(XmlPushParser &)> &parse, const QString &source)
{
    // Damaged tags leave control characters in exported names, which XML
    // does not allow: rather than refuse the whole library for them, it is
    // read again without them.
    for (const bool dropControlCharacters : {false, true}) {
        clear();
        Parse attempt(*this, dropControlCharacters);
        const bool parsed = parse(attempt.parser);
        if (!parsed && attempt.parser.failure().systemError != 0) {
            m_contents = {};
            m_error = ErrorRecord::withDescription(ErrorDomain, 1, QStringLiteral("cannot open %1").arg(source));
            m_error.addDetail(QStringLiteral("File"), source);
            return false;
        }
        if (!parsed && !dropControlCharacters && attempt.parser.failedOnDisallowedCharacter())
            continue;
        if (const qint64 dropped = attempt.parser.droppedControlCharacters(); parsed && dropped > 0) {
            const int line = attempt.parser.firstDroppedControlCharacterLine();
            warn(dropped == 1 ? QStringLiteral("The export holds a control character that XML does not allow (on line %1), "
                                               "left out of the text it was in").arg(line)
                              : QStringLiteral("The export holds %1 control characters that XML does not allow (the first on "
                                               "line %2), left out of the text they were in").arg(dropped).arg(line));
        }
        return finish(attempt, parsed, source);
    }
    return false;
}

bool ExportLibraryReader::readFile(const QString &path)
{
    clear();
    const QFileInfo info(path);
    if (info.isFile() && info.size() == 0)
        return readBytes({});
    if (!info.isFile()) {
        m_error = ErrorRecord::withDescription(ErrorDomain, 1, QStringLiteral("cannot open %1").arg(path));
        m_error.addDetail(QStringLiteral("File"), path);
        return false;
    }
    return read([&path](XmlPushParser &parser) { return parser.readFile(path); }, path);
}

bool ExportLibraryReader::readBytes(const QByteArray &bytes)
{
    clear();
    if (bytes.isEmpty()) {
        m_error = ErrorRecord::withDescription(ErrorDomain, 2, QStringLiteral("the document is empty"));
        return false;
    }
    return read([&bytes](XmlPushParser &parser) { return parser.readBytes(bytes.constData(), bytes.size()); }, QString());
}

QString ExportLibraryReader::derivedPersistentID(const QString &libraryPersistentID, const char *kind, qint64 id)
{
    const QByteArray text = libraryPersistentID.toUtf8() + '/' + kind + '/' + QByteArray::number(id);
    return QString::fromLatin1(QCryptographicHash::hash(text, QCryptographicHash::Sha1).left(8).toHex().toUpper());
}

void ExportLibraryReader::assignDerivedPersistentIDs()
{
    for (const qint64 id : m_contents.tracksWithoutPersistentID) {
        const std::shared_ptr<ResolvedMusicTrack> &track = m_contents.tracks[size_t(m_contents.trackIndexByID.value(id))];
        if (track->persistentID().isEmpty())
            track->setPersistentID(derivedPersistentID(m_contents.libraryPersistentID, "Track", id));
    }
    m_contents.tracksWithoutPersistentID.clear();
    for (ExportLibraryContents::Playlist &playlist : m_contents.playlists) {
        if (playlist.persistentID.isEmpty() && playlist.playlistID)
            playlist.persistentID = derivedPersistentID(m_contents.libraryPersistentID, "Playlist", *playlist.playlistID);
    }
}

bool ExportLibraryReader::finish(const Parse &parse, bool parsed, const QString &source)
{
    if (parsed) {
        m_error = {};
        assignDerivedPersistentIDs();
        return true;
    }
    const XmlPushParser::Failure &failure = parse.parser.failure();
    m_contents = {};
    m_error = ErrorRecord::withDescription(ErrorDomain, 2, failure.message);
    if (!source.isNull())
        m_error.addDetail(QStringLiteral("File"), source);
    m_error.addDetail(QStringLiteral("Line"), failure.line);
    return false;
}

QStringList ExportLibraryReader::warnings() const
{
    QStringList lines = m_warnings;
    if (m_warningCount > m_warnings.size())
        lines.append(QStringLiteral("... and %1 more").arg(m_warningCount - m_warnings.size()));
    return lines;
}

void ExportLibraryReader::leaveOut(const QString &reason, const QString &message, std::optional<qint64> trackID)
{
    ++m_leftOut[reason];
    if (trackID)
        m_leftOutTracks.insert(*trackID, reason);
    warn(message);
}

void ExportLibraryReader::warn(const QString &message)
{
    if (m_warnings.size() < MaximumWarnings)
        m_warnings.append(message);
    ++m_warningCount;
}

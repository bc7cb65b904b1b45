#include "itunes/ExportLibraryReader.h"

#include "itunes/PlistStreamReader.h"

#include <QFileInfo>

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <string_view>

const QString ExportLibraryReader::ErrorDomain = QStringLiteral("LibraryExportErrorDomain");

namespace {

using Event = PlistStreamReader::Event;

enum class Field {
    Unknown,
    PersistentID, Location, Name, Artist, AlbumArtist, Album, Composer, Genre,
    Size, TotalTime,
    DiscNumber, DiscCount, TrackNumber, TrackCount, Year, BitRate, SampleRate, TrackID,
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

bool isBlank(const char *text)
{
    for (; *text; ++text) {
        if (*text != ' ' && *text != '\t' && *text != '\n' && *text != '\r')
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

// The next element start of a container; false at the container's end.
bool nextValue(PlistStreamReader &reader)
{
    for (;;) {
        switch (reader.next()) {
        case Event::StartElement:
            return true;
        case Event::EndElement:
            return false;
        case Event::Text:
            if (!isBlank(reader.text()))
                reader.fail(QStringLiteral("unexpected text between elements"));
            break;
        case Event::EndOfDocument:
            reader.fail(QStringLiteral("the document ends too early"));
        }
    }
}

// The next key of a dictionary into key; false at the dictionary's end.
bool nextKey(PlistStreamReader &reader, std::string &key)
{
    if (!nextValue(reader))
        return false;
    if (std::strcmp(reader.name(), "key") != 0)
        reader.fail(QStringLiteral("<%1> where a <key> belongs").arg(QString::fromUtf8(reader.name())));
    key.clear();
    reader.readText(key);
    if (!nextValue(reader))
        reader.fail(QStringLiteral("the key %1 has no value").arg(quotedKey(key)));
    return true;
}

bool isElement(const PlistStreamReader &reader, const char *name)
{
    return std::strcmp(reader.name(), name) == 0;
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

} // namespace

ExportLibraryReader::ExportLibraryReader(FileLocationMapper locations) : m_locations(std::move(locations)) {}

bool ExportLibraryReader::readFile(const QString &path)
{
    PlistStreamReader reader;
    const QFileInfo info(path);
    if (!info.isFile() || !reader.openFile(path)) {
        m_contents = {};
        m_error = ErrorRecord::withDescription(ErrorDomain, 1, QStringLiteral("cannot open %1").arg(path));
        m_error.addDetail(QStringLiteral("File"), path);
        return false;
    }
    return read(reader, path);
}

bool ExportLibraryReader::readBytes(const QByteArray &bytes)
{
    if (bytes.isEmpty()) {
        m_contents = {};
        m_error = ErrorRecord::withDescription(ErrorDomain, 2, QStringLiteral("the document is empty"));
        return false;
    }
    PlistStreamReader reader;
    if (!reader.openMemory(bytes)) {
        m_error = ErrorRecord::withDescription(ErrorDomain, 1, reader.failure().message);
        return false;
    }
    return read(reader, QString());
}

bool ExportLibraryReader::read(PlistStreamReader &reader, const QString &source)
{
    m_contents = {};
    m_error = {};
    m_warnings.clear();
    m_warningCount = 0;
    try {
        readDocument(reader);
        return true;
    } catch (const PlistStreamReader::Failure &failure) {
        m_contents = {};
        m_error = ErrorRecord::withDescription(ErrorDomain, 2, failure.message);
        if (!source.isNull())
            m_error.addDetail(QStringLiteral("File"), source);
        m_error.addDetail(QStringLiteral("Line"), failure.line);
        return false;
    }
}

QStringList ExportLibraryReader::warnings() const
{
    QStringList lines = m_warnings;
    if (m_warningCount > m_warnings.size())
        lines.append(QStringLiteral("... and %1 more").arg(m_warningCount - m_warnings.size()));
    return lines;
}

void ExportLibraryReader::warn(const QString &message)
{
    if (m_warnings.size() < MaximumWarnings)
        m_warnings.append(message);
    ++m_warningCount;
}

void ExportLibraryReader::readDocument(PlistStreamReader &reader)
{
    Event event;
    do {
        event = reader.next();
        if (event == Event::EndOfDocument)
            reader.fail(QStringLiteral("the document is empty"));
        if (event == Event::Text && !isBlank(reader.text()))
            reader.fail(QStringLiteral("unexpected text before the property list"));
    } while (event != Event::StartElement);
    if (!isElement(reader, "plist") || reader.isEmptyElement())
        reader.fail(QStringLiteral("the file is not a property list"));
    if (!nextValue(reader) || !isElement(reader, "dict"))
        reader.fail(QStringLiteral("the property list does not hold a dictionary"));
    if (!reader.isEmptyElement()) {
        while (nextKey(reader, m_key)) {
            if (m_key == "Tracks") {
                if (isElement(reader, "dict")) {
                    readTracks(reader);
                    continue;
                }
                warn(QStringLiteral("\"Tracks\" is not a dictionary"));
            } else if (m_key == "Playlists") {
                if (isElement(reader, "array")) {
                    readPlaylists(reader);
                    continue;
                }
                warn(QStringLiteral("\"Playlists\" is not an array"));
            }
            reader.skipElement();
        }
    }
    // Whatever follows must still be well-formed.
    while ((event = reader.next()) != Event::EndOfDocument) {
        if (event == Event::StartElement)
            reader.skipElement();
    }
}

void ExportLibraryReader::readTracks(PlistStreamReader &reader)
{
    if (reader.isEmptyElement())
        return;
    std::string dictionaryKey;
    while (nextKey(reader, dictionaryKey)) {
        if (!isElement(reader, "dict")) {
            warn(QStringLiteral("Track %1 is not a dictionary").arg(quotedKey(dictionaryKey)));
            reader.skipElement();
            continue;
        }
        readTrack(reader, dictionaryKey);
    }
}

void ExportLibraryReader::readTrack(PlistStreamReader &reader, const std::string &dictionaryKey)
{
    MusicTrackProperties track;
    std::optional<qint64> trackID;
    QString rawLocation;
    const auto warnField = [&](const char *what) {
        warn(QStringLiteral("Track %1: \"%2\" %3").arg(quotedKey(dictionaryKey), QString::fromStdString(m_key), QLatin1String(what)));
    };
    if (!reader.isEmptyElement()) {
        while (nextKey(reader, m_key)) {
            const Field field = trackField(m_key);
            if (field == Field::Unknown) {
                reader.skipElement();
                continue;
            }
            const bool isString = field <= Field::Genre;
            const bool isInteger = isElement(reader, "integer");
            const bool acceptable = isString ? isElement(reader, "string")
                                             : (isInteger || (field == Field::TotalTime && isElement(reader, "real")));
            if (!acceptable) {
                warnField(isString ? "is not a string, ignored" : "is not a number, ignored");
                reader.skipElement();
                continue;
            }
            m_value.clear();
            reader.readText(m_value);
            if (isString) {
                QString text = QString::fromUtf8(m_value.data(), qsizetype(m_value.size()));
                switch (field) {
                case Field::PersistentID: track.persistentID = text.trimmed(); break;
                case Field::Location: rawLocation = text; break;
                case Field::Name: track.name = text; break;
                case Field::Artist: track.artist = text; break;
                case Field::AlbumArtist: track.albumArtist = text; break;
                case Field::Album: track.album = text; break;
                case Field::Composer: track.composer = text; break;
                case Field::Genre: track.genre = text; break;
                default: break;
                }
                continue;
            }
            if (field == Field::TotalTime) {
                std::optional<double> milliseconds;
                if (!isInteger)
                    milliseconds = parseReal(m_value);
                else if (const std::optional<qint64> whole = parseInteger(m_value))
                    milliseconds = double(*whole);
                if (!milliseconds || *milliseconds < 0 || *milliseconds > 1e12)
                    warnField("is out of range, ignored");
                else
                    track.duration = *milliseconds / 1000.0;
                continue;
            }
            const std::optional<qint64> number = parseInteger(m_value);
            if (field == Field::Size) {
                if (!number || *number < 0)
                    warnField("is out of range, ignored");
                else
                    track.size = *number;
                continue;
            }
            if (!number || *number < std::numeric_limits<int>::min() || *number > std::numeric_limits<int>::max()) {
                warnField("is out of range, ignored");
                continue;
            }
            const int value = int(*number);
            switch (field) {
            case Field::DiscNumber: track.discNumber = value; break;
            case Field::DiscCount: track.discCount = value; break;
            case Field::TrackNumber: track.trackNumber = value; break;
            case Field::TrackCount: track.trackCount = value; break;
            case Field::Year: track.year = value; break;
            case Field::BitRate: track.bitRate = value; break;
            case Field::SampleRate: track.sampleRate = value; break;
            case Field::TrackID: trackID = value; break;
            default: break;
            }
        }
    }
    if (!trackID) {
        const std::optional<qint64> fromKey = parseInteger(dictionaryKey);
        if (fromKey && *fromKey >= std::numeric_limits<int>::min() && *fromKey <= std::numeric_limits<int>::max())
            trackID = fromKey;
    }
    if (!trackID) {
        warn(QStringLiteral("Track %1 has no \"Track ID\", left out").arg(quotedKey(dictionaryKey)));
        return;
    }
    if (track.persistentID.isEmpty()) {
        warn(QStringLiteral("Track %1 has no \"Persistent ID\", left out").arg(quotedKey(dictionaryKey)));
        return;
    }
    if (!isUsablePersistentID(track.persistentID)) {
        warn(QStringLiteral("Track %1 has an unusable \"Persistent ID\", left out").arg(quotedKey(dictionaryKey)));
        return;
    }
    track.databaseID = int(*trackID);
    track.location = m_locations.pathForLocation(rawLocation);
    if (const auto existing = m_contents.trackIndexByID.constFind(*trackID); existing != m_contents.trackIndexByID.cend()) {
        warn(QStringLiteral("Track ID %1 appears twice, the later entry is kept").arg(*trackID));
        m_contents.tracks[size_t(existing.value())] = std::move(track);
        return;
    }
    m_contents.trackIndexByID.insert(*trackID, qsizetype(m_contents.tracks.size()));
    m_contents.tracks.push_back(std::move(track));
}

void ExportLibraryReader::readPlaylists(PlistStreamReader &reader)
{
    if (reader.isEmptyElement())
        return;
    int position = 0;
    while (nextValue(reader)) {
        ++position;
        if (!isElement(reader, "dict")) {
            warn(QStringLiteral("Playlist %1 is not a dictionary").arg(position));
            reader.skipElement();
            continue;
        }
        readPlaylist(reader, position);
    }
}

void ExportLibraryReader::readPlaylist(PlistStreamReader &reader, int position)
{
    ExportLibraryContents::Playlist playlist;
    if (!reader.isEmptyElement()) {
        while (nextKey(reader, m_key)) {
            if (m_key == "Name" || m_key == "Playlist Persistent ID") {
                if (!isElement(reader, "string")) {
                    warn(QStringLiteral("Playlist %1: \"%2\" is not a string, ignored").arg(position).arg(QString::fromStdString(m_key)));
                    reader.skipElement();
                    continue;
                }
                m_value.clear();
                reader.readText(m_value);
                QString text = QString::fromUtf8(m_value.data(), qsizetype(m_value.size()));
                if (m_key == "Name")
                    playlist.name = text;
                else
                    playlist.persistentID = text.trimmed();
            } else if (m_key == "Master") {
                playlist.master = isElement(reader, "true");
                reader.skipElement();
            } else if (m_key == "Playlist Items" && isElement(reader, "array")) {
                readPlaylistItems(reader, playlist);
            } else {
                reader.skipElement();
            }
        }
    }
    if (playlist.name.isNull())
        playlist.name = QStringLiteral("");
    if (!playlist.master && playlist.persistentID.isEmpty()) {
        warn(QStringLiteral("Playlist %1 (%2) has no \"Playlist Persistent ID\", left out").arg(position).arg(playlist.name));
        return;
    }
    m_contents.playlists.push_back(std::move(playlist));
}

void ExportLibraryReader::readPlaylistItems(PlistStreamReader &reader, ExportLibraryContents::Playlist &playlist)
{
    if (reader.isEmptyElement())
        return;
    while (nextValue(reader)) {
        if (!isElement(reader, "dict")) {
            warn(QStringLiteral("Playlist %1: an item is not a dictionary").arg(playlist.name));
            reader.skipElement();
            continue;
        }
        std::optional<qint64> trackID;
        if (!reader.isEmptyElement()) {
            while (nextKey(reader, m_key)) {
                if (m_key == "Track ID" && isElement(reader, "integer")) {
                    m_value.clear();
                    reader.readText(m_value);
                    trackID = parseInteger(m_value);
                } else {
                    reader.skipElement();
                }
            }
        }
        if (trackID)
            playlist.trackIDs.push_back(*trackID);
        else
            warn(QStringLiteral("Playlist %1: an item has no \"Track ID\"").arg(playlist.name));
    }
}

#include "tests/itunes/ExportFileBuilder.h"

#include "tests/support/TestFiles.h"

namespace {

QByteArray escaped(const QString &text)
{
    return text.toHtmlEscaped().toUtf8();
}

QByteArray dictXml(const ExportFileBuilder::Fields &fields)
{
    QByteArray xml = "<dict>\n";
    for (const auto &[key, value] : fields)
        xml += "<key>" + escaped(key) + "</key>" + ExportFileBuilder::valueXml(value) + "\n";
    return xml + "</dict>";
}

} // namespace

ExportFileBuilder::Fields ExportFileBuilder::track(int trackID, const QString &persistentID, const QString &location, const QString &name)
{
    Fields fields = {{QStringLiteral("Track ID"), trackID}, {QStringLiteral("Name"), name},
                     {QStringLiteral("Persistent ID"), persistentID}};
    if (!location.isNull())
        fields.append({QStringLiteral("Location"), location});
    return fields;
}

void ExportFileBuilder::addTrack(int trackID, const Fields &fields)
{
    m_tracks.append({trackID, fields});
}

void ExportFileBuilder::addPlaylist(const QString &name, const QString &persistentID, const QList<int> &trackIDs, bool master)
{
    Fields fields = {{QStringLiteral("Name"), name}};
    if (master)
        fields.append({QStringLiteral("Master"), true});
    fields.append({QStringLiteral("Playlist ID"), qint64(1000 + m_playlists.size())});
    if (!persistentID.isNull())
        fields.append({QStringLiteral("Playlist Persistent ID"), persistentID});
    QByteArray items = "<array>\n";
    for (int id : trackIDs)
        items += "<dict><key>Track ID</key><integer>" + QByteArray::number(id) + "</integer></dict>\n";
    items += "</array>";
    fields.append({QStringLiteral("Playlist Items"), QVariant::fromValue(RawXml{items})});
    m_playlists.append(fields);
}

void ExportFileBuilder::addPlaylistFields(const Fields &fields)
{
    m_playlists.append(fields);
}

QByteArray ExportFileBuilder::valueXml(const QVariant &value)
{
    if (value.canConvert<RawXml>() && value.userType() == qMetaTypeId<RawXml>())
        return value.value<RawXml>().xml;
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? "<true/>" : "<false/>";
    case QMetaType::Int:
    case QMetaType::LongLong:
        return "<integer>" + QByteArray::number(value.toLongLong()) + "</integer>";
    case QMetaType::Double:
        return "<real>" + QByteArray::number(value.toDouble(), 'g', 17) + "</real>";
    default:
        return "<string>" + escaped(value.toString()) + "</string>";
    }
}

QByteArray ExportFileBuilder::toXml() const
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    xml += m_prologue;
    xml += "<plist version=\"1.0\">\n<dict>\n<key>Major Version</key><integer>1</integer>\n"
           "<key>Application Version</key><string>12.0</string>\n<key>Tracks</key>\n<dict>\n";
    for (const auto &[id, fields] : m_tracks)
        xml += "<key>" + QByteArray::number(id) + "</key>\n" + dictXml(fields) + "\n";
    xml += "</dict>\n";
    if (!m_libraryPersistentID.isNull())
        xml += "<key>Library Persistent ID</key>" + valueXml(m_libraryPersistentID) + "\n";
    xml += "<key>Playlists</key>\n<array>\n";
    for (const Fields &fields : m_playlists)
        xml += dictXml(fields) + "\n";
    xml += "</array>\n<key>Music Folder</key>" + valueXml(m_musicFolder) + "\n</dict>\n</plist>\n";
    return xml;
}

void ExportFileBuilder::writeTo(const QString &path) const
{
    testsupport::writeFile(path, toXml());
}

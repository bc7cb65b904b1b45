#include "library/ArtworkDocument.h"

#include "xml/XmlText.h"

namespace {

// The escapes of the file's first writer, a tree serialiser: readers of
// existing shares see the same bytes.
constexpr XmlText::Escaping AttributeEscaping{
    .quotationMark = true, .tabsAndLineBreaks = true, .dropInvalidCharacters = true};

} // namespace

void ArtworkDocument::addAlbumCover(const QString &albumId, const QString &path)
{
    m_covers += "    <AlbumCover AlbumID=\"";
    m_covers += XmlText::escaped(albumId, AttributeEscaping).toUtf8();
    m_covers += "\" Path=\"";
    m_covers += XmlText::escaped(path, AttributeEscaping).toUtf8();
    m_covers += "\"/>\n";
}

QByteArray ArtworkDocument::serialized() const
{
    QByteArray bytes = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Library>\n";
    if (m_covers.isEmpty())
        bytes += "  <AlbumCovers/>\n";
    else
        bytes += "  <AlbumCovers>\n" + m_covers + "  </AlbumCovers>\n";
    return bytes + "</Library>\n";
}

#pragma once

#include <QByteArray>
#include <QString>

// The artwork file: Library > AlbumCovers > AlbumCover elements with the
// attributes AlbumID and Path, as UTF-8 text indented by two spaces per
// level. Values lose the characters XML 1.0 cannot hold; tabs and line
// breaks in them are written as character references.
class ArtworkDocument {
public:
    // Throws std::bad_alloc when memory runs out.
    void addAlbumCover(const QString &albumId, const QString &path);
    QByteArray serialized() const;

private:
    QByteArray m_covers;
};

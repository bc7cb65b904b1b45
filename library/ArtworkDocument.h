#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

// The artwork file as a libxml2 tree: Library > AlbumCovers > AlbumCover
// elements with the attributes AlbumID and Path, serialised pretty-printed
// as UTF-8 in one piece.
class ArtworkDocument {
public:
    ArtworkDocument();
    ~ArtworkDocument();
    ArtworkDocument(const ArtworkDocument &) = delete;
    ArtworkDocument &operator=(const ArtworkDocument &) = delete;

    // Throws std::bad_alloc when libxml2 cannot allocate.
    void addAlbumCover(const QString &albumId, const QString &path);
    QByteArray serialized() const;

    // Text without the characters XML 1.0 cannot hold (most C0 controls,
    // U+FFFE, U+FFFF and unpaired surrogates).
    static QString withoutInvalidXmlCharacters(const QString &text);

private:
    struct Tree;
    std::unique_ptr<Tree> m_tree;
};

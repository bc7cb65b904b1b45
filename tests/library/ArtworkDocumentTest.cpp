#include "library/ArtworkDocument.h"

#include "library/DescriptionFileReader.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

TEST(ArtworkDocument, ValuesAreEscapedAsBeforeAndReadBackAsWritten)
{
    const QString albumId = QStringLiteral("AC/DC & \"Friends\" <Live>-it's");
    // A tab and a line break survive only as character references; the
    // control character and the lone surrogate cannot be held at all.
    const QString path = QStringLiteral("\\\\s\\Artwork\\a\tb\r\nc\u0001d") + QChar(0xDC00) + QStringLiteral("é.jpg");
    ArtworkDocument document;
    document.addAlbumCover(albumId, path);
    document.addAlbumCover(QStringLiteral(""), QStringLiteral("x"));
    const QByteArray bytes = document.serialized();
    EXPECT_EQ(bytes, QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                "<Library>\n"
                                "  <AlbumCovers>\n"
                                "    <AlbumCover AlbumID=\"AC/DC &amp; &quot;Friends&quot; &lt;Live&gt;-it's\" "
                                "Path=\"\\\\s\\Artwork\\a&#9;b&#13;&#10;cd\xC3\xA9.jpg\"/>\n"
                                "    <AlbumCover AlbumID=\"\" Path=\"x\"/>\n"
                                "  </AlbumCovers>\n"
                                "</Library>\n"));

    std::vector<std::pair<QString, QString>> covers;
    QString failure;
    DescriptionFileReader reader(
        [&](const QString &name, const XmlAttributes &attributes) {
            if (name == u"AlbumCover")
                covers.emplace_back(attributes.value("AlbumID").value_or(QString()),
                                    attributes.value("Path").value_or(QString()));
        },
        [&](const ErrorRecord &error) { failure = error.localizedDescription(); });
    reader.readBytes(bytes.constData(), bytes.size());
    EXPECT_TRUE(failure.isEmpty()) << failure.toStdString();
    ASSERT_EQ(covers.size(), 2u);
    EXPECT_EQ(covers[0].first, albumId);
    EXPECT_EQ(covers[0].second, QStringLiteral("\\\\s\\Artwork\\a\tb\r\ncdé.jpg"));
}

#include "library/ArtworkDocument.h"

#include <libxml/tree.h>
#include <libxml/xmlsave.h>

#include <new>

namespace {

const xmlChar *xmlText(const QByteArray &bytes)
{
    return reinterpret_cast<const xmlChar *>(bytes.constData());
}

bool isXmlCharacter(char32_t code)
{
    return code == 0x09 || code == 0x0A || code == 0x0D || (code >= 0x20 && code <= 0xD7FF)
        || (code >= 0xE000 && code <= 0xFFFD) || (code >= 0x10000 && code <= 0x10FFFF);
}

} // namespace

struct ArtworkDocument::Tree {
    xmlDocPtr document = nullptr;
    xmlNodePtr albumCovers = nullptr;

    ~Tree()
    {
        if (document)
            xmlFreeDoc(document);
    }
};

ArtworkDocument::ArtworkDocument()
    : m_tree(std::make_unique<Tree>())
{
    m_tree->document = xmlNewDoc(reinterpret_cast<const xmlChar *>("1.0"));
    if (!m_tree->document)
        throw std::bad_alloc();
    xmlNodePtr library = xmlNewDocNode(m_tree->document, nullptr, reinterpret_cast<const xmlChar *>("Library"), nullptr);
    if (!library)
        throw std::bad_alloc();
    xmlDocSetRootElement(m_tree->document, library);
    m_tree->albumCovers = xmlNewChild(library, nullptr, reinterpret_cast<const xmlChar *>("AlbumCovers"), nullptr);
    if (!m_tree->albumCovers)
        throw std::bad_alloc();
}

ArtworkDocument::~ArtworkDocument() = default;

void ArtworkDocument::addAlbumCover(const QString &albumId, const QString &path)
{
    xmlNodePtr cover = xmlNewChild(m_tree->albumCovers, nullptr, reinterpret_cast<const xmlChar *>("AlbumCover"), nullptr);
    if (!cover)
        throw std::bad_alloc();
    // xmlNewProp escapes the value itself on output.
    const QByteArray id = withoutInvalidXmlCharacters(albumId).toUtf8();
    const QByteArray location = withoutInvalidXmlCharacters(path).toUtf8();
    if (!xmlNewProp(cover, reinterpret_cast<const xmlChar *>("AlbumID"), xmlText(id))
        || !xmlNewProp(cover, reinterpret_cast<const xmlChar *>("Path"), xmlText(location)))
        throw std::bad_alloc();
}

QByteArray ArtworkDocument::serialized() const
{
    xmlChar *memory = nullptr;
    int size = 0;
    xmlDocDumpFormatMemoryEnc(m_tree->document, &memory, &size, "UTF-8", 1);
    if (!memory)
        throw std::bad_alloc();
    QByteArray bytes(reinterpret_cast<const char *>(memory), size);
    xmlFree(memory);
    return bytes;
}

QString ArtworkDocument::withoutInvalidXmlCharacters(const QString &text)
{
    bool clean = true;
    for (qsizetype index = 0; index < text.size() && clean; ++index) {
        const char16_t unit = text.at(index).unicode();
        if (unit < 0x20 && unit != 0x09 && unit != 0x0A && unit != 0x0D)
            clean = false;
        else if (unit >= 0xD800)
            clean = false;
    }
    if (clean)
        return text;
    QString result;
    result.reserve(text.size());
    for (qsizetype index = 0; index < text.size(); ++index) {
        const QChar unit = text.at(index);
        if (unit.isHighSurrogate() && index + 1 < text.size() && text.at(index + 1).isLowSurrogate()) {
            result.append(unit);
            result.append(text.at(++index));
            continue;
        }
        if (unit.isSurrogate())
            continue;
        if (isXmlCharacter(unit.unicode()))
            result.append(unit);
    }
    return result;
}

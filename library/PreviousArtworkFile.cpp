#include "library/PreviousArtworkFile.h"

#include <climits>

namespace {

// The leading integer of text: optional blanks, an optional sign and
// decimal digits, clamped to the int range; 0 when there is none.
int leadingInteger(const QString &text)
{
    qsizetype index = 0;
    while (index < text.size() && (text.at(index) == u' ' || text.at(index) == u'\t' || text.at(index) == u'\n'))
        ++index;
    bool negative = false;
    if (index < text.size() && (text.at(index) == u'+' || text.at(index) == u'-')) {
        negative = text.at(index) == u'-';
        ++index;
    }
    qint64 value = 0;
    for (; index < text.size() && text.at(index) >= u'0' && text.at(index) <= u'9'; ++index) {
        value = value * 10 + (text.at(index).unicode() - u'0');
        if (value > qint64(INT_MAX) + 1)
            break;
    }
    if (negative)
        return value > qint64(INT_MAX) ? INT_MIN : int(-value);
    return value > INT_MAX ? INT_MAX : int(value);
}

} // namespace

std::optional<ListedCover> PreviousArtworkFile::listedCoverOf(const XmlAttributes &attributes)
{
    std::optional<QString> albumId = attributes.value("AlbumID");
    std::optional<QString> path = attributes.value("Path");
    if (!albumId || !path)
        return std::nullopt;
    return ListedCover{std::move(*albumId), std::move(*path), attributes.value("Type")};
}

void PreviousArtworkFile::takeListedCover(LibraryModel &model, SyncCounters &counters, const ListedCover &listed)
{
    std::shared_ptr<AlbumCover> &cover = model.albumCovers()[listed.albumId];
    if (cover) {
        ++counters.numAlbumCoversUnchanged;
    } else {
        cover = std::make_shared<AlbumCover>();
        cover->setAvailable(true);
    }
    cover->setStatus(0);
    cover->setType(listed.type ? leadingInteger(*listed.type) : 0);
    cover->setPath(listed.path);
}

bool PreviousArtworkFile::read(const QString &path)
{
    SyncCounters &counters = m_stage.counters;
    counters.numAlbumCoversProcessed = int(m_stage.model.albumCovers().size());
    counters.numAlbumCoversUnchanged = 0;
    m_stage.reports.syncNotifyTitle(Activity::SyncStageStarts, QStringLiteral("Synchronizing Album Covers"));
    m_parsingError.reset();
    readListedCovers(
        path, [this](const ListedCover &cover) { takeListedCover(m_stage.model, m_stage.counters, cover); },
        [this](const ErrorRecord &error) {
            if (!m_parsingError)
                m_parsingError = error;
        },
        &m_fingerprint);
    counters.numAlbumCoversAdded = counters.numAlbumCoversProcessed - counters.numAlbumCoversUnchanged;
    if (m_parsingError)
        m_stage.reports.syncNotifyError(QStringLiteral("Error pasring Artwork XML file"), *m_parsingError);
    else
        m_stage.reports.syncNotifyTitle(Activity::ReadFinished,
                                        QStringLiteral("Finished Synchronizing Album Cover Artwork"));
    return !m_parsingError;
}

std::vector<ListedCover> PreviousArtworkFile::listedCovers(const QString &path)
{
    std::vector<ListedCover> covers;
    readListedCovers(path, [&covers](const ListedCover &cover) { covers.push_back(cover); }, [](const ErrorRecord &) {});
    return covers;
}

void PreviousArtworkFile::readListedCovers(const QString &path, const std::function<void(const ListedCover &)> &onCover,
                                           const DescriptionFileReader::ErrorHandler &onError,
                                           XmlPushParser::FileObserver *observer)
{
    DescriptionFileReader reader(
        [&onCover](const QString &name, const XmlAttributes &attributes) {
            if (!DescriptionFileReader::isNamed(name, QLatin1String("albumcover")))
                return;
            if (const std::optional<ListedCover> cover = listedCoverOf(attributes))
                onCover(*cover);
        },
        onError);
    reader.readFile(path, observer);
}

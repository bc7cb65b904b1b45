#include "library/PreviousLibraryFile.h"

#include "library/DescriptionFileReader.h"
#include "library/PreviousArtworkFile.h"
#include "library/TrackDestinations.h"

void PreviousLibraryFile::takeElement(const QString &name, const XmlAttributes &attributes)
{
    if (DescriptionFileReader::isNamed(name, QLatin1String("song"))) {
        const LibraryModel::TrackMap &tracks = m_stage.model.tracks();
        const std::optional<QString> id = attributes.value("ID");
        const auto found = id ? tracks.constFind(*id) : tracks.constEnd();
        if (found != tracks.constEnd() && found.value()) {
            found.value()->setStatus(0);
            const std::optional<QString> location = attributes.value("Location");
            found.value()->setListedPath(location ? TrackDestinations::listedPathOfLocation(*location) : QString());
            ++m_stage.counters.numTracksUnchanged;
        } else {
            ++m_stage.counters.numTracksDeleted;
        }
        return;
    }
    if (DescriptionFileReader::isNamed(name, QLatin1String("albumcover")))
        PreviousArtworkFile::takeListedCover(m_stage.model, m_stage.counters, attributes);
}

bool PreviousLibraryFile::read(const QString &path)
{
    SyncCounters &counters = m_stage.counters;
    counters.numTracksProcessed = int(m_stage.model.tracks().size());
    counters.numTracksDeleted = 0;
    counters.numTracksUnchanged = 0;
    m_stage.reports.syncNotifyTitle(Activity::SyncStageStarts, QStringLiteral("Synchronizing Music Tracks"));
    m_parsingError.reset();
    DescriptionFileReader reader(
        [this](const QString &name, const XmlAttributes &attributes) { takeElement(name, attributes); },
        [this](const ErrorRecord &error) {
            if (!m_parsingError)
                m_parsingError = error;
        });
    reader.readFile(path, &m_fingerprint);
    counters.numTracksAdded = counters.numTracksProcessed - counters.numTracksUnchanged;
    if (m_parsingError)
        m_stage.reports.syncNotifyError(QStringLiteral("Error parsing Music Tracks XML file"), *m_parsingError);
    else
        m_stage.reports.syncNotifyTitle(Activity::ReadFinished, QStringLiteral("Finished Synchronizing Music Tracks"));
    return !m_parsingError;
}

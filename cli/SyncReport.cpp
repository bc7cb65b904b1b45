#include "cli/SyncReport.h"

#include <QJsonArray>

void SyncReport::addError(const QString &title)
{
    for (auto &[known, count] : m_errors) {
        if (known == title) {
            ++count;
            return;
        }
    }
    m_errors.append({title, 1});
}

QString SyncReport::refreshName(Refresh outcome)
{
    switch (outcome) {
    case Refresh::Succeeded:
        return QStringLiteral("succeeded");
    case Refresh::Failed:
        return QStringLiteral("failed");
    case Refresh::NoAnswer:
        return QStringLiteral("no answer");
    case Refresh::NotSent:
        break;
    }
    return QStringLiteral("not sent");
}

QJsonObject SyncReport::toJson(const SyncCounters &totals, const QStringList &summaryLines, bool dryRun,
                               int exitStatus) const
{
    QJsonArray errors;
    for (const auto &[title, count] : m_errors)
        errors.append(QJsonObject{{QStringLiteral("title"), title}, {QStringLiteral("count"), count}});
    QJsonObject report{
        {QStringLiteral("tracks"),
         QJsonObject{{QStringLiteral("processed"), totals.numTracksProcessed},
                     {QStringLiteral("copied"), totals.numTracksCopied},
                     {QStringLiteral("failed"), totals.numTracksCopyFailure},
                     {QStringLiteral("copyProtected"), totals.numSkippedDRMTracks}}},
        {QStringLiteral("albumCovers"),
         QJsonObject{{QStringLiteral("processed"), totals.numAlbumCoversProcessed},
                     {QStringLiteral("copied"), totals.numAlbumCoversCopied},
                     {QStringLiteral("missing"), totals.numAlbumCoversMissing}}},
        {QStringLiteral("errors"), errors},
        {QStringLiteral("refresh"), refreshName(m_refresh)},
        {QStringLiteral("dryRun"), dryRun},
        {QStringLiteral("summary"), QJsonArray::fromStringList(summaryLines)},
        {QStringLiteral("exitStatus"), exitStatus},
    };
    if (m_wouldCopy) {
        report.insert(QStringLiteral("wouldCopy"),
                      QJsonObject{{QStringLiteral("tracks"), m_wouldCopy->first},
                                  {QStringLiteral("albumCovers"), m_wouldCopy->second}});
    }
    return report;
}

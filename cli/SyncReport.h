#pragma once

#include "library/SyncCounters.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// What orvanasync-cli --json says at the end of a sync: the totals, the
// errors grouped by their title, the refresh's outcome and the exit status.
class SyncReport {
public:
    enum class Refresh { NotSent, Succeeded, Failed, NoAnswer };

    void addError(const QString &title);
    void setRefresh(Refresh outcome) { m_refresh = outcome; }
    Refresh refresh() const { return m_refresh; }
    // A dry run's counts of what a real run would copy.
    void setWouldCopy(int tracks, int albumCovers) { m_wouldCopy = {tracks, albumCovers}; }

    // summaryLines: the totals as printed (operation and titles).
    QJsonObject toJson(const SyncCounters &totals, const QStringList &summaryLines, bool dryRun, int exitStatus) const;

    static QString refreshName(Refresh outcome);

private:
    QList<std::pair<QString, int>> m_errors; // in the order first seen
    Refresh m_refresh = Refresh::NotSent;
    std::optional<std::pair<int, int>> m_wouldCopy;
};

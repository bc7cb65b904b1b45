#pragma once

#include "library/LibraryModel.h"
#include "library/SharePaths.h"
#include "library/SyncCounters.h"
#include "library/SyncReports.h"

#include <QString>

// What every stage of a sync run works on: the library, the run's counters,
// where reports go and the share's paths. The stages run one after another
// on the sync thread; each reports its own failures.
struct SyncStage {
    LibraryModel &model;
    SyncCounters &counters;
    const SyncReports &reports;
    const SharePaths &paths;
};

namespace sharefiles {

// Whether anything, a dangling link included, is at path.
bool exists(const QString &path);
// The folder holding path: "." without a slash, "/" for the root.
QString parentFolder(const QString &path);

} // namespace sharefiles

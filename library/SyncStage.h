#pragma once

#include "library/LibraryModel.h"
#include "library/SharePaths.h"
#include "library/SyncCounters.h"
#include "library/SyncReports.h"

// What every stage of a sync run works on: the library, the run's counters,
// where reports go and the share's paths. The stages run one after another
// on the sync thread; each reports its own failures.
struct SyncStage {
    LibraryModel &model;
    SyncCounters &counters;
    const SyncReports &reports;
    const SharePaths &paths;
};

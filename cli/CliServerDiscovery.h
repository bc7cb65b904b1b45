#pragma once

#include "cli/CliOptions.h"

#include <QString>

#include <cstdio>
#include <functional>

class OrvanaSyncAppDelegate;

// The command line's use of server discovery: the servers command, and the
// server a sync runs against. Resolved addresses are traced on standard
// error here, standard output being the command's report.
class CliServerDiscovery {
public:
    static constexpr int serversWaitMs = 3000;
    static constexpr int syncWaitMs = 10000;

    // orvanasync-cli servers: browses until every server found has resolved
    // (or failed to) or the wait is over, then prints one line per server
    // with an address. Answers the exit status: 0, or 1 when discovery is not
    // available.
    static int listServers(const CliOptions &options, FILE *out, FILE *err);

    // Sets the run's server on a delegate whose settings are restored:
    // --server's address; else the server announced as --server-name; else,
    // as the window would, the stored server name when that server is found
    // (stored address otherwise, and `warn` says why). Answers why the run
    // cannot go on, or null.
    static QString chooseServer(const CliOptions &options, OrvanaSyncAppDelegate &delegate, FILE *trace,
                                const std::function<void(const QString &)> &warn);
};

#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>

#include <functional>

class QProcess;

#include <sys/types.h>

// The processes a test started, including the daemons that fork away from
// their parents (gvfsd-fuse, smbd's children), so that a test can stop
// them all and prove that nothing is left behind.
namespace processtree {

// Makes this process the reaper of its descendants' orphans: a daemon that
// detaches from its parent still descends from the test.
void adoptOrphans();
// Every live process below this one.
QList<pid_t> descendants();
// The command line of every process on the machine, arguments separated by
// NUL bytes.
QList<QByteArray> allCommandLines();
// Waits up to graceMs for every descendant to end; terminates those still
// running (SIGKILL after another graceMs) and answers their command lines.
// Adopted ones are reaped.
QStringList stopDescendants(int graceMs);
// The path of an installed program: on PATH, else in one of `folders`
// (sbin and libexec folders are not on every PATH); empty when absent.
QString findProgram(const QString &name, const QStringList &folders = {});
// Has the program about to be started receive SIGTERM when this process
// dies, so that a test killed at its time-out leaves no daemon behind.
void endWithThisProcess(QProcess &process);
// Stops a started program: SIGTERM, SIGKILL when it is still there after graceMs.
void stop(QProcess &process, int graceMs = 5000);
// Polls `condition` every 20 ms until it holds or timeoutMs have passed.
bool waitUntil(const std::function<bool()> &condition, int timeoutMs);

} // namespace processtree

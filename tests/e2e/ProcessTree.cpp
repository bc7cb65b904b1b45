#include "tests/e2e/ProcessTree.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <csignal>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace processtree {

namespace {

QByteArray readProcFile(pid_t pid, const char *name)
{
    QFile file(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(name)));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QList<pid_t> allPids()
{
    QList<pid_t> pids;
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool isNumber = false;
        const int pid = entry.toInt(&isNumber);
        if (isNumber)
            pids.append(pid);
    }
    return pids;
}

// The parent and the state letter of a process from /proc/<pid>/stat (the
// command name in parentheses may hold blanks, so read after its last ')').
bool readStat(pid_t pid, pid_t *parent, char *state)
{
    const QByteArray stat = readProcFile(pid, "stat");
    const qsizetype close = stat.lastIndexOf(')');
    if (close < 0)
        return false;
    const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
    if (fields.size() < 2 || fields[0].isEmpty())
        return false;
    *state = fields[0][0];
    *parent = fields[1].toInt();
    return true;
}

void reapAdoptedZombies()
{
    for (pid_t pid : descendants()) {
        pid_t parent = 0;
        char state = 0;
        if (readStat(pid, &parent, &state) && parent == getpid() && state == 'Z')
            waitpid(pid, nullptr, WNOHANG);
    }
}

} // namespace

void adoptOrphans()
{
    prctl(PR_SET_CHILD_SUBREAPER, 1);
}

QList<pid_t> descendants()
{
    QHash<pid_t, pid_t> parentOf;
    QHash<pid_t, char> stateOf;
    for (pid_t pid : allPids()) {
        pid_t parent = 0;
        char state = 0;
        if (readStat(pid, &parent, &state)) {
            parentOf.insert(pid, parent);
            stateOf.insert(pid, state);
        }
    }
    QList<pid_t> found;
    for (auto it = parentOf.cbegin(); it != parentOf.cend(); ++it) {
        for (pid_t ancestor = it.value(); ancestor > 1; ancestor = parentOf.value(ancestor, 0)) {
            if (ancestor == getpid()) {
                found.append(it.key());
                break;
            }
        }
    }
    return found;
}

QList<QByteArray> allCommandLines()
{
    QList<QByteArray> lines;
    for (pid_t pid : allPids())
        lines.append(readProcFile(pid, "cmdline"));
    return lines;
}

QStringList stopDescendants(int graceMs)
{
    const auto live = [] {
        reapAdoptedZombies();
        QList<pid_t> pids;
        for (pid_t pid : descendants()) {
            pid_t parent = 0;
            char state = 0;
            if (readStat(pid, &parent, &state) && state != 'Z')
                pids.append(pid);
        }
        return pids;
    };
    // A daemon's children may still be on their way out after it stopped.
    if (waitUntil([&] { return live().isEmpty(); }, graceMs))
        return {};
    QStringList running;
    for (pid_t pid : live()) {
        running.append(QString::fromLocal8Bit(readProcFile(pid, "cmdline").replace('\0', ' ').trimmed()));
        kill(pid, SIGTERM);
    }
    if (!waitUntil([&] { return live().isEmpty(); }, graceMs)) {
        for (pid_t pid : live())
            kill(pid, SIGKILL);
        waitUntil([&] { return live().isEmpty(); }, graceMs);
    }
    return running;
}

QString findProgram(const QString &name, const QStringList &folders)
{
    const QString onPath = QStandardPaths::findExecutable(name);
    if (!onPath.isEmpty() || folders.isEmpty())
        return onPath;
    return QStandardPaths::findExecutable(name, folders);
}

void endWithThisProcess(QProcess &process)
{
    process.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
}

void stop(QProcess &process, int graceMs)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(graceMs)) {
        process.kill();
        process.waitForFinished();
    }
}

bool waitUntil(const std::function<bool()> &condition, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() >= timeoutMs)
            return false;
        QThread::msleep(20);
    }
    return true;
}

} // namespace processtree

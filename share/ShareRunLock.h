#pragma once

#include <QString>

#include <memory>

// The exclusive lock a sync run holds on the share for one library
// identifier from its first write to its end, so two runs (two machines, or
// the window and a timer) never write the same library at once.
//
// The lock is a file on the share locked with flock(2), which the kernel
// releases when the holding process ends however it ends, and which SMB
// mounts forward to the server: a lock left by a killed run is taken over
// simply by locking the file again. The file names its holder (process,
// host, start) for the refusal message. Where the file system has no flock,
// the file's exclusive creation is the lock; it is then stale when it names
// a process of this host that is gone, and is taken over by renaming it
// aside, checking that the renamed file is the stale one, and creating it
// anew.
class ShareRunLock {
public:
    enum class Method { FlockWhereSupported, ExclusiveCreationOnly };

    ~ShareRunLock();
    ShareRunLock(const ShareRunLock &) = delete;
    ShareRunLock &operator=(const ShareRunLock &) = delete;

    // Takes the lock at lockPath (its folder must exist). Null when another
    // run holds it or it cannot be taken; *refusal then says why, naming the
    // holder and the lock file.
    static std::unique_ptr<ShareRunLock> acquire(const QString &lockPath, QString *refusal,
                                                 Method method = Method::FlockWhereSupported);

    // What this process writes into the lock file: "pid=<n> host=<name>
    // start=<ticks> since=<UTC time>".
    static QString holderLine();

    const QString &path() const { return m_path; }

private:
    ShareRunLock(QString path, int descriptor);

    QString m_path;
    int m_descriptor;
};

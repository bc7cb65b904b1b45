#pragma once

#include "library/ShareVerifier.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class OrvanaSyncAppDelegate;
class QThread;

// One check of the share (ShareVerifier) as the window and the command line
// run it: the share found or mounted as a run finds it, the tracks a run of
// the delegate's library would list collected on the main thread, the check
// on a thread of its own, each finding and the summary logged on the sync
// page and handed over by signal on the main thread.
class ShareVerification : public QObject {
    Q_OBJECT

public:
    enum Outcome { Consistent = 0, Inconsistent = 1, CouldNotCheck = 2 };

    explicit ShareVerification(OrvanaSyncAppDelegate &delegate, QObject *parent = nullptr);
    // Stops a check still running and waits for its thread.
    ~ShareVerification() override;

    // Whether the delegate's loaded library is compared with the share
    // (tracks a run would list that the library file does not).
    void setComparesWithLibrary(bool value) { m_comparesWithLibrary = value; }

    // Starts a check; finished() follows, also when it cannot start.
    void start();
    // Asks a running check to end early.
    void requestStop();
    bool running() const { return m_thread != nullptr; }

    Outcome outcome() const { return m_outcome; }
    // Why the check could not be made; null when it was.
    const QString &failure() const { return m_failure; }
    // Whether the failure was that the share could not be mounted.
    bool mountFailed() const { return m_mountFailed; }
    const ShareVerifier::Counts &counts() const { return m_counts; }
    const QStringList &warnings() const { return m_warnings; }
    const QString &shareRoot() const { return m_shareRoot; }
    const QString &libraryId() const { return m_libraryId; }
    // What was checked and what was found, in words.
    QStringList summaryLines() const;

Q_SIGNALS:
    void findingReported(const ShareVerifier::Finding &finding);
    void finished(int outcome);

private:
    void finish(Outcome outcome, const QString &failure);
    void log(const QString &line);

    OrvanaSyncAppDelegate &m_delegate;
    bool m_comparesWithLibrary = true;
    std::unique_ptr<ShareVerifier> m_verifier;
    QThread *m_thread = nullptr;
    Outcome m_outcome = CouldNotCheck;
    QString m_failure;
    bool m_mountFailed = false;
    ShareVerifier::Counts m_counts;
    QStringList m_warnings;
    QString m_shareRoot;
    QString m_libraryId;
};

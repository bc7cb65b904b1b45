#include "app/ShareVerification.h"

#include "app/EmptyLibraryGuard.h"
#include "app/OrvanaSyncAppDelegate.h"
#include "library/MusicLibrary.h"

#include <QThread>

namespace {

QString label(ShareVerifier::Kind kind)
{
    using Kind = ShareVerifier::Kind;
    switch (kind) {
    case Kind::MissingSong: return QStringLiteral("missing song files");
    case Kind::WrongSize: return QStringLiteral("song files of another size");
    case Kind::MissingCover: return QStringLiteral("missing album covers");
    case Kind::Orphan: return QStringLiteral("files named by no description file");
    case Kind::DanglingPlaylistEntry: return QStringLiteral("playlist entries naming no song");
    case Kind::NotOnShare: return QStringLiteral("tracks of the music source not on the share");
    case Kind::ForeignLocation: return QStringLiteral("locations outside the share");
    case Kind::MissingArtworkFile: return QStringLiteral("missing artwork file");
    }
    return {};
}

} // namespace

ShareVerification::ShareVerification(OrvanaSyncAppDelegate &delegate, QObject *parent)
    : QObject(parent), m_delegate(delegate)
{
    qRegisterMetaType<ShareVerifier::Finding>();
}

ShareVerification::~ShareVerification()
{
    // The thread's hand-overs are queued to this object: they are dropped
    // with it, so waiting for the thread is enough.
    if (m_thread) {
        m_verifier->requestStop();
        m_thread->wait();
    }
}

void ShareVerification::log(const QString &line)
{
    m_delegate.syncPage().logDateAndTitle(line);
}

void ShareVerification::requestStop()
{
    if (m_verifier)
        m_verifier->requestStop();
}

void ShareVerification::start()
{
    if (m_thread)
        return;
    m_mountFailed = false;
    m_counts = ShareVerifier::Counts();
    m_warnings.clear();
    m_shareRoot.clear();
    m_libraryId = m_delegate.iTunesGUID();
    log(QStringLiteral("Verifying the share"));
    if (m_delegate.syncInProgress()) {
        finish(CouldNotCheck, QStringLiteral("a synchronization is running: verify the share when it has ended"));
        return;
    }
    if (m_libraryId.isEmpty()) {
        finish(CouldNotCheck, QStringLiteral("no library identifier is given or stored, so there is no library file "
                                             "to check (the first sync makes one)"));
        return;
    }
    const QString address = m_delegate.serverAddress();
    if (!m_delegate.findShareRoot(address)) {
        m_mountFailed = true;
        finish(CouldNotCheck, QStringLiteral("the share //%1/OrvanaMusic could not be found or mounted").arg(address));
        return;
    }
    m_shareRoot = m_delegate.shareRoot();
    m_verifier = std::make_unique<ShareVerifier>(m_shareRoot, m_libraryId);
    if (m_comparesWithLibrary && m_delegate.ml()) {
        // The model is read here, on the main thread; the check gets copies.
        MusicLibrary &library = *m_delegate.ml();
        m_delegate.applyPlaylistSelection();
        QList<ShareVerifier::ExpectedTrack> expected;
        for (const QString &identifier :
             EmptyLibraryGuard::tracksToPublishIds(library, m_delegate.syncEntireMusicLibrary())) {
            const std::shared_ptr<Track> track = library.tracks().value(identifier);
            expected.append({identifier, track ? track->title() : QString(), track ? track->location() : QString()});
        }
        m_verifier->setExpectedTracks(std::move(expected));
    }
    ShareVerifier *verifier = m_verifier.get();
    m_thread = QThread::create([this, verifier] {
        ErrorRecord error;
        const bool checked = verifier->verify(
            [this](const ShareVerifier::Finding &finding) {
                QMetaObject::invokeMethod(
                    this,
                    [this, finding] {
                        log(finding.description());
                        Q_EMIT findingReported(finding);
                    },
                    Qt::QueuedConnection);
            },
            &error);
        QMetaObject::invokeMethod(
            this,
            [this, checked, error] {
                m_counts = m_verifier->counts();
                m_warnings = m_verifier->warnings();
                if (!checked)
                    finish(CouldNotCheck, error.localizedDescription());
                else
                    finish(m_counts.totalFindings() == 0 ? Consistent : Inconsistent, QString());
            },
            Qt::QueuedConnection);
    });
    connect(m_thread, &QThread::finished, m_thread, &QObject::deleteLater);
    m_thread->start();
}

void ShareVerification::finish(Outcome outcome, const QString &failure)
{
    if (m_thread) {
        // Its last act was to queue this call.
        m_thread->wait();
        m_thread = nullptr;
    }
    m_outcome = outcome;
    m_failure = failure;
    for (const QString &warning : std::as_const(m_warnings))
        log(QStringLiteral("Warning: ") + warning);
    if (outcome == CouldNotCheck) {
        log(QStringLiteral("Error: The share could not be verified: ") + failure);
    } else {
        for (const QString &line : summaryLines())
            log(line);
    }
    Q_EMIT finished(outcome);
}

QStringList ShareVerification::summaryLines() const
{
    QString checked = QStringLiteral("Checked %1 songs, %2 album covers, %3 playlist entries and %4 files of the "
                                     "library %5 on %6")
                          .arg(m_counts.songs)
                          .arg(m_counts.albumCovers)
                          .arg(m_counts.playlistEntries)
                          .arg(m_counts.filesOnShare)
                          .arg(m_libraryId, m_shareRoot);
    if (m_counts.expectedTracks > 0)
        checked += QStringLiteral(" against %1 tracks of the music source").arg(m_counts.expectedTracks);
    if (m_counts.totalFindings() == 0)
        return {checked, QStringLiteral("The share is consistent: the server will find every song and cover")};
    QStringList found;
    for (int kind = 0; kind < ShareVerifier::KindCount; ++kind) {
        if (const int count = m_counts.findings[kind]; count > 0)
            found.append(QStringLiteral("%1 %2").arg(count).arg(label(ShareVerifier::Kind(kind))));
    }
    return {checked, QStringLiteral("Found %1 problems: %2").arg(m_counts.totalFindings()).arg(found.join(QStringLiteral(", ")))};
}

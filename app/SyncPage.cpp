#include "app/SyncPage.h"

#include "library/Notify.h"

#include <QDateTime>
#include <QLocale>

namespace {

// 32-bit signed arithmetic that wraps like the original instead of being
// undefined on overflow.
qint32 wrapped(qint64 value)
{
    return qint32(quint32(quint64(value)));
}

QString messageAt(const Notify &notify, qsizetype index)
{
    if (!notify.messages() || index >= notify.messages()->size())
        return QStringLiteral("");
    const QString &message = notify.messages()->at(index);
    return message.isNull() ? QStringLiteral("") : message;
}

} // namespace

SyncPage::SyncPage(QObject *parent) : QObject(parent), m_clock(&SyncPage::localTime)
{
}

QString SyncPage::localTime()
{
    // The text changes once a second, and making it (the locale's format,
    // the time zone) costs more than the rest of a log line.
    thread_local qint64 shownSecond = -1;
    thread_local QString shown;
    const qint64 second = QDateTime::currentSecsSinceEpoch();
    if (second != shownSecond) {
        const QLocale locale = QLocale::system();
        shown = locale.toString(QDateTime::fromSecsSinceEpoch(second), locale.timeFormat(QLocale::LongFormat));
        shownSecond = second;
    }
    return shown;
}

void SyncPage::setClock(Clock clock)
{
    m_clock = clock ? std::move(clock) : Clock(&SyncPage::localTime);
}

int SyncPage::percentage(int progress, int maxProgress)
{
    const qint32 scaled = wrapped(qint64(progress) * 100);
    if (maxProgress == 0)
        return 0;
    if (maxProgress == -1)
        return wrapped(-qint64(scaled));
    return scaled / maxProgress;
}

void SyncPage::initSyncPageWithTitle(const QString &title)
{
    for (QString &text : m_syncTitles)
        text = QStringLiteral("");
    for (QString &text : m_syncTexts)
        text = QStringLiteral("");
    m_syncOperation = title;
    Q_EMIT pageChanged();
}

void SyncPage::setSyncOperation(const QString &text)
{
    m_syncOperation = text;
    Q_EMIT pageChanged();
}

void SyncPage::showProgressBar(const QString &logLine)
{
    if (m_progressBarVisible)
        return;
    m_progressBarVisible = true;
    Q_EMIT pageChanged();
    logDateAndTitle(logLine);
}

void SyncPage::hideProgressBar()
{
    m_progressBarVisible = false;
    Q_EMIT pageChanged();
}

void SyncPage::setProgressValue(int progress, int maxProgress)
{
    if (maxProgress <= 0)
        return;
    m_progressBarValue = percentage(progress, maxProgress);
    Q_EMIT pageChanged();
}

void SyncPage::onSyncNotifictionEvent(const Notify *notify)
{
    if (!notify)
        return;
    const QString title = notify->title().isNull() ? QStringLiteral("") : notify->title();
    switch (notify->activity()) {
    case 0:
        initSyncPageWithTitle(QStringLiteral("Ready"));
        break;
    case 1:
        logDateAndTitle(QStringLiteral("Debug: ") + title);
        break;
    case 2:
        logDateAndTitle(QStringLiteral("Error: ") + title);
        if (notify->messages()) {
            for (const QString &message : *notify->messages())
                logDateAndTitle(QStringLiteral("Error: ") + message);
        }
        break;
    case 3:
    case 5:
    case 6:
    case 10:
    case 11:
        hideProgressBar();
        initSyncPageWithTitle(title);
        logDateAndTitle(title);
        break;
    case 4:
        showProgressBar(QStringLiteral("Loading iTunes Music Library"));
        setProgressValue(notify->progress(), notify->maxProgress());
        setSyncOperation(QStringLiteral("Loading iTunes Music Library..."));
        break;
    case 7: {
        showProgressBar(QStringLiteral("Copying Music"));
        setProgressValue(notify->progress(), notify->maxProgress());
        m_syncOperation = QStringLiteral("Copying Music...");
        m_syncTitles[0] = QStringLiteral("Song:");
        m_syncTitles[1] = QStringLiteral("Album:");
        m_syncTitles[2] = QStringLiteral("Artist:");
        for (int i = 0; i < 3; ++i)
            m_syncTexts[i] = messageAt(*notify, i);
        Q_EMIT pageChanged();
        // Joined rather than formatted: one line per track of a run.
        logDateAndTitle(u"Song: " + m_syncTexts[0] + u", Album: " + m_syncTexts[1] + u", Artist: " + m_syncTexts[2]);
        break;
    }
    case 8: {
        const QString text = QStringLiteral("Copying Playlist: ") + title;
        setSyncOperation(text);
        logDateAndTitle(text);
        break;
    }
    case 9:
        showProgressBar(QStringLiteral("Copying Artwork"));
        setProgressValue(notify->progress(), notify->maxProgress());
        setSyncOperation(QStringLiteral("Copying Artwork..."));
        break;
    default:
        break;
    }
}

void SyncPage::syncPageResults(const SyncCounters &totals)
{
    initSyncPageWithTitle(QStringLiteral("Completed iTunes Synchronization"));
    for (QString &text : m_syncTexts)
        text = QStringLiteral("");
    m_syncTitles[0] = QStringLiteral("Processed %1 tracks and %2 album covers")
                          .arg(totals.numTracksProcessed)
                          .arg(totals.numAlbumCoversProcessed);
    m_syncTitles[1] = QStringLiteral("Copied %1 tracks and %2 album covers")
                          .arg(totals.numTracksCopied)
                          .arg(totals.numAlbumCoversCopied);
    const qint32 tracksUnchanged = wrapped(qint64(totals.numTracksProcessed) - totals.numTracksCopied -
                                           totals.numTracksCopyFailure - totals.numSkippedDRMTracks);
    const qint32 coversUnchanged =
        wrapped(qint64(totals.numAlbumCoversProcessed) - totals.numAlbumCoversCopied - totals.numAlbumCoversMissing);
    m_syncTitles[2] =
        QStringLiteral("%1 tracks unchanged and %2 album covers unchanged").arg(tracksUnchanged).arg(coversUnchanged);
    if (totals.numTracksCopyFailure != 0 || totals.numSkippedDRMTracks != 0 || totals.numAlbumCoversMissing != 0) {
        m_syncTitles[3] = QStringLiteral("Unable to copy %1 album covers and %2 tracks (%3 copy protected)")
                              .arg(totals.numAlbumCoversMissing)
                              .arg(wrapped(qint64(totals.numTracksCopyFailure) + totals.numSkippedDRMTracks))
                              .arg(totals.numSkippedDRMTracks);
    }
    Q_EMIT pageChanged();
}

void SyncPage::logWriteline(const QString &line)
{
    const QString text = line.isNull() ? QStringLiteral("") : line;
    if (m_keepsLogText) {
        m_logText += text.toUtf8();
        m_logText += '\n';
    }
    Q_EMIT lineLogged(text);
}

void SyncPage::setKeepsLogText(bool keeps)
{
    m_keepsLogText = keeps;
    if (!keeps)
        m_logText = QByteArray();
}

void SyncPage::logDateAndTitle(const QString &message)
{
    logWriteline(m_clock() + u": " + message);
}

void SyncPage::enableSync(bool enabled)
{
    m_syncEnabled = enabled;
    Q_EMIT syncEnabledChanged(enabled);
}

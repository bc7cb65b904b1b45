#pragma once

#include "library/SyncCounters.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <array>
#include <functional>

class Notify;

// The sync page without widgets: the operation line, four title/text pairs,
// the percentage bar, the log and the Sync button's state. The desktop
// window and the terminal both show this model; every change is announced.
// Main thread only.
class SyncPage : public QObject {
    Q_OBJECT

public:
    // The time text put before every log line.
    using Clock = std::function<QString()>;

    explicit SyncPage(QObject *parent = nullptr);

    // The current local time in the user's locale, long time style, no date.
    static QString localTime();
    void setClock(Clock clock);

    // Empties the titles and texts, then shows title as the operation; the
    // bar and the log stay.
    void initSyncPageWithTitle(const QString &title);
    // Shows one engine report; none, or an activity outside 0 to 11, changes
    // nothing.
    void onSyncNotifictionEvent(const Notify *notify);
    // The totals page of a run.
    void syncPageResults(const SyncCounters &totals);
    // Appends the line and a line feed (a lone line feed for none).
    void logWriteline(const QString &line);
    // Appends "<time>: <message>".
    void logDateAndTitle(const QString &message);
    void enableSync(bool enabled);

    // progress * 100 / maxProgress in 32-bit signed arithmetic, truncated.
    static int percentage(int progress, int maxProgress);

    const QString &syncOperation() const { return m_syncOperation; }
    // n from 1 to 4.
    const QString &syncTitle(int n) const { return m_syncTitles.at(n - 1); }
    const QString &syncText(int n) const { return m_syncTexts.at(n - 1); }
    bool isProgressBarVisible() const { return m_progressBarVisible; }
    int progressBarValue() const { return m_progressBarValue; }
    // Every line logged, each followed by a line feed; empty once the page
    // keeps no log text.
    QString logText() const { return QString::fromUtf8(m_logText); }
    // Whether the lines are kept for logText (by default): a program that
    // prints each line as it is logged keeps none, which at 100,000 tracks
    // spares some 16 MB and a copy of every line.
    void setKeepsLogText(bool keeps);
    bool isSyncEnabled() const { return m_syncEnabled; }

Q_SIGNALS:
    // A line has been appended to the log (without its line feed).
    void lineLogged(const QString &line);
    // The operation line, a title or text, or the bar changed.
    void pageChanged();
    void syncEnabledChanged(bool enabled);

private:
    void showProgressBar(const QString &logLine);
    void hideProgressBar();
    void setProgressValue(int progress, int maxProgress);
    void setSyncOperation(const QString &text);

    Clock m_clock;
    QString m_syncOperation;
    std::array<QString, 4> m_syncTitles;
    std::array<QString, 4> m_syncTexts;
    bool m_progressBarVisible = false;
    int m_progressBarValue = 0;
    // In UTF-8: half the memory of a long run's log.
    QByteArray m_logText;
    bool m_keepsLogText = true;
    bool m_syncEnabled = true;
};

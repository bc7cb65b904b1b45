#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QStringList>
#include <QWidget>

#include <array>
#include <functional>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTimer;
class SyncPage;

// The sync page on screen: shows the SyncPage model (operation line, four
// title/text pairs, the bar, the log, the Sync button's state) as it changes,
// with three pictures of its own. Each control's object name is its name in
// the page ("syncOperation", "syncTitle1", "logTextView", ...). The log view
// holds the newest lines (shownLogLines); "Save Log..." writes them all.
class SyncPageView : public QWidget {
    Q_OBJECT

public:
    static constexpr int DefaultShownLogLines = 10000;

    explicit SyncPageView(SyncPage &page, QWidget *parent = nullptr);

    QPushButton *syncSyncButton() const { return m_syncSyncButton; }
    QPushButton *syncExitButton() const { return m_syncExitButton; }
    QPushButton *syncVerifyButton() const { return m_syncVerifyButton; }
    QPushButton *syncSaveLogButton() const { return m_syncSaveLogButton; }
    QPlainTextEdit *logTextView() const { return m_logTextView; }
    // While deferNow() holds (a batch of reports is being shown), the page's
    // changes and log lines wait for showDeferred(), which shows them at
    // once: the labels are set and the log laid out and scrolled once per
    // batch instead of once per report.
    void deferShowingWhile(std::function<bool()> deferNow) { m_deferShowing = std::move(deferNow); }
    void showDeferred();
    // At a batch's end: showDeferred() now, or, when the view was changed
    // less than showInterval ago, once that has passed. A run's batches
    // come thousands a second; the view changes at most 25 times a second.
    void showDeferredSoon();
    static constexpr int showIntervalMs = 40;
    // How many of the newest log lines the view holds (at least 1); older
    // ones leave the view, never the page's log.
    void setShownLogLines(int lines);
    int shownLogLines() const { return m_shownLogLines; }
    // Writes every line logged since the view was made to fileName, control
    // characters escaped as in the view; false and a log line on failure.
    bool saveLog(const QString &fileName);

Q_SIGNALS:
    void syncPressed();
    void exitPressed();
    // Check the share against its description files.
    void verifyPressed();

private:
    bool deferring() const { return m_deferShowing && m_deferShowing(); }
    void onPageChanged();
    void showPage();
    void onLineLogged(const QString &line);
    void dropOldestShownLines();
    void scrollLogToEnd();
    void showLogNote();
    void onSaveLogPressed();
    QLabel *picture(const QString &name, const QString &resource);

    SyncPage &m_page;
    QLabel *m_syncOperation;
    std::array<QLabel *, 4> m_syncTitles{};
    std::array<QLabel *, 4> m_syncTexts{};
    QProgressBar *m_progressBar;
    QPlainTextEdit *m_logTextView;
    QLabel *m_logNote;
    QPushButton *m_syncSyncButton;
    QPushButton *m_syncExitButton;
    QPushButton *m_syncVerifyButton;
    QPushButton *m_syncSaveLogButton;
    std::function<bool()> m_deferShowing;
    QTimer *m_showTimer;
    QElapsedTimer m_sinceShown;
    bool m_pageChangePending = false;
    // Escaped lines of the batch being shown, newest last.
    QStringList m_pendingLines;
    // Every line as the view shows it, each ended by a line feed, in UTF-8:
    // the page's log cannot tell a line feed inside a title from one between
    // lines.
    QByteArray m_escapedLog;
    qint64 m_loggedLines = 0;
    int m_shownLogLines = DefaultShownLogLines;
};

#pragma once

#include <QWidget>

#include <array>
#include <functional>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class SyncPage;

// The sync page on screen: shows the SyncPage model (operation line, four
// title/text pairs, the bar, the log, the Sync button's state) as it changes,
// with three pictures of its own. Each control's object name is its name in
// the page ("syncOperation", "syncTitle1", "logTextView", ...).
class SyncPageView : public QWidget {
    Q_OBJECT

public:
    explicit SyncPageView(SyncPage &page, QWidget *parent = nullptr);

    QPushButton *syncSyncButton() const { return m_syncSyncButton; }
    QPushButton *syncExitButton() const { return m_syncExitButton; }
    QPushButton *syncVerifyButton() const { return m_syncVerifyButton; }
    QPlainTextEdit *logTextView() const { return m_logTextView; }
    // While deferNow() holds, appended lines wait for scrollLogToEnd()
    // instead of scrolling the log one line at a time.
    void deferScrollingWhile(std::function<bool()> deferNow) { m_deferScrolling = std::move(deferNow); }
    void scrollLogToEnd();

Q_SIGNALS:
    void syncPressed();
    void exitPressed();
    // Check the share against its description files.
    void verifyPressed();

private:
    void showPage();
    void appendLogLine(const QString &line);
    QLabel *picture(const QString &name, const QString &resource);

    SyncPage &m_page;
    QLabel *m_syncOperation;
    std::array<QLabel *, 4> m_syncTitles{};
    std::array<QLabel *, 4> m_syncTexts{};
    QProgressBar *m_progressBar;
    QPlainTextEdit *m_logTextView;
    QPushButton *m_syncSyncButton;
    QPushButton *m_syncExitButton;
    QPushButton *m_syncVerifyButton;
    std::function<bool()> m_deferScrolling;
};

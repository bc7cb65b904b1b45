#include "desktop/SyncPageView.h"

#include "app/SyncPage.h"
#include "platform/ControlCharacters.h"

#include <QDir>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QSaveFile>
#include <QPushButton>
#include <QScrollBar>
#include <QSvgRenderer>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const QSize pictureSize(96, 96);

} // namespace

SyncPageView::SyncPageView(SyncPage &page, QWidget *parent)
    : QWidget(parent),
      m_page(page),
      m_syncOperation(new QLabel(this)),
      m_progressBar(new QProgressBar(this)),
      m_logTextView(new QPlainTextEdit(this)),
      m_logNote(new QLabel(this)),
      m_syncSyncButton(new QPushButton(QStringLiteral("Sync"), this)),
      m_syncExitButton(new QPushButton(QStringLiteral("Exit"), this)),
      m_syncVerifyButton(new QPushButton(QStringLiteral("Verify"), this)),
      m_syncSaveLogButton(new QPushButton(QStringLiteral("Save Log..."), this)),
      m_showTimer(new QTimer(this))
{
    m_showTimer->setSingleShot(true);
    connect(m_showTimer, &QTimer::timeout, this, &SyncPageView::showDeferred);
    auto *pictures = new QHBoxLayout;
    pictures->addStretch(1);
    pictures->addWidget(picture(QStringLiteral("syncSourceImg"), QStringLiteral(":/OrvanaSync/pictures/source.svg")));
    pictures->addWidget(
        picture(QStringLiteral("syncOperationImg"), QStringLiteral(":/OrvanaSync/pictures/operation.svg")));
    pictures->addWidget(picture(QStringLiteral("syncTargetImg"), QStringLiteral(":/OrvanaSync/pictures/target.svg")));
    pictures->addStretch(1);

    m_syncOperation->setObjectName(QStringLiteral("syncOperation"));
    QFont operationFont = m_syncOperation->font();
    operationFont.setBold(true);
    operationFont.setPointSizeF(operationFont.pointSizeF() * 1.2);
    m_syncOperation->setFont(operationFont);
    m_syncOperation->setTextFormat(Qt::PlainText);
    m_syncOperation->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    auto *lines = new QGridLayout;
    lines->setColumnStretch(1, 1);
    for (int n = 0; n < 4; ++n) {
        m_syncTitles[n] = new QLabel(this);
        m_syncTitles[n]->setObjectName(QStringLiteral("syncTitle%1").arg(n + 1));
        m_syncTexts[n] = new QLabel(this);
        m_syncTexts[n]->setObjectName(QStringLiteral("syncText%1").arg(n + 1));
        for (QLabel *label : {m_syncTitles[n], m_syncTexts[n]}) {
            label->setTextFormat(Qt::PlainText);
            label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        }
        // A long song name is cut at the window's edge instead of widening it.
        m_syncTexts[n]->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        lines->addWidget(m_syncTitles[n], n, 0);
        lines->addWidget(m_syncTexts[n], n, 1);
    }

    m_progressBar->setObjectName(QStringLiteral("progressBar"));
    m_progressBar->setRange(0, 100);
    // The page does not jump when the bar comes and goes.
    QSizePolicy barPolicy = m_progressBar->sizePolicy();
    barPolicy.setRetainSizeWhenHidden(true);
    m_progressBar->setSizePolicy(barPolicy);

    m_logTextView->setObjectName(QStringLiteral("logTextView"));
    m_logTextView->setReadOnly(true);
    m_logTextView->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_logTextView->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_logTextView->setUndoRedoEnabled(false);
    m_logNote->setObjectName(QStringLiteral("syncLogNote"));
    m_logNote->setTextFormat(Qt::PlainText);
    m_logNote->hide();

    m_syncSyncButton->setObjectName(QStringLiteral("syncSyncButton"));
    m_syncSyncButton->setDefault(true);
    m_syncExitButton->setObjectName(QStringLiteral("syncExitButton"));
    m_syncVerifyButton->setObjectName(QStringLiteral("syncVerifyButton"));
    m_syncVerifyButton->setToolTip(QStringLiteral("Check that the server will find every song and cover on its share"));
    m_syncSaveLogButton->setObjectName(QStringLiteral("syncSaveLogButton"));
    m_syncSaveLogButton->setToolTip(QStringLiteral("Write the whole log to a file"));
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_syncVerifyButton);
    buttons->addWidget(m_syncSaveLogButton);
    buttons->addStretch(1);
    buttons->addWidget(m_syncExitButton);
    buttons->addWidget(m_syncSyncButton);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(pictures);
    layout->addWidget(m_syncOperation);
    layout->addLayout(lines);
    layout->addWidget(m_progressBar);
    layout->addWidget(m_logTextView, 1);
    layout->addWidget(m_logNote);
    layout->addLayout(buttons);

    connect(m_syncSyncButton, &QPushButton::clicked, this, &SyncPageView::syncPressed);
    connect(m_syncExitButton, &QPushButton::clicked, this, &SyncPageView::exitPressed);
    connect(m_syncVerifyButton, &QPushButton::clicked, this, &SyncPageView::verifyPressed);
    connect(m_syncSaveLogButton, &QPushButton::clicked, this, &SyncPageView::onSaveLogPressed);
    connect(&m_page, &SyncPage::pageChanged, this, &SyncPageView::onPageChanged);
    connect(&m_page, &SyncPage::lineLogged, this, &SyncPageView::onLineLogged);
    connect(&m_page, &SyncPage::syncEnabledChanged, m_syncSyncButton, &QPushButton::setEnabled);
    // A check and a run never overlap: Verify is there when Sync is.
    connect(&m_page, &SyncPage::syncEnabledChanged, m_syncVerifyButton, &QPushButton::setEnabled);

    showPage();
    m_syncSyncButton->setEnabled(m_page.isSyncEnabled());
    m_syncVerifyButton->setEnabled(m_page.isSyncEnabled());
    if (const QString logged = m_page.logText(); !logged.isEmpty()) {
        QStringList lines = logged.chopped(1).split(QLatin1Char('\n'));
        for (QString &line : lines)
            line = ControlCharacters::escaped(line);
        m_loggedLines = lines.size();
        m_escapedLog = (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8();
        if (lines.size() > m_shownLogLines)
            lines.remove(0, lines.size() - m_shownLogLines);
        m_logTextView->setPlainText(lines.join(QLatin1Char('\n')));
        showLogNote();
    }
}

QLabel *SyncPageView::picture(const QString &name, const QString &resource)
{
    auto *label = new QLabel(this);
    label->setObjectName(name);
    QSvgRenderer renderer(resource);
    const qreal ratio = devicePixelRatioF();
    QPixmap pixmap(pictureSize * ratio);
    pixmap.fill(Qt::transparent);
    if (renderer.isValid()) {
        QPainter painter(&pixmap);
        renderer.render(&painter);
    }
    pixmap.setDevicePixelRatio(ratio);
    label->setPixmap(pixmap);
    label->setFixedSize(pictureSize);
    return label;
}

void SyncPageView::onPageChanged()
{
    m_pageChangePending = true;
    // A change outside a batch shows everything so far, lines waiting too.
    if (!deferring())
        showDeferred();
}

void SyncPageView::showPage()
{
    m_pageChangePending = false;
    // Song names and server answers are shown, never obeyed.
    m_syncOperation->setText(ControlCharacters::escaped(m_page.syncOperation()));
    for (int n = 0; n < 4; ++n) {
        m_syncTitles[n]->setText(ControlCharacters::escaped(m_page.syncTitle(n + 1)));
        m_syncTexts[n]->setText(ControlCharacters::escaped(m_page.syncText(n + 1)));
    }
    m_progressBar->setVisible(m_page.isProgressBarVisible());
    m_progressBar->setValue(qBound(0, m_page.progressBarValue(), 100));
}

void SyncPageView::onLineLogged(const QString &line)
{
    ++m_loggedLines;
    // A line break or an escape sequence in a title stays inside its line.
    QString escaped = ControlCharacters::escaped(line);
    m_escapedLog += escaped.toUtf8();
    m_escapedLog += '\n';
    m_pendingLines.append(std::move(escaped));
    // Lines the view would drop at once are not laid out at all.
    if (m_pendingLines.size() > m_shownLogLines)
        m_pendingLines.removeFirst();
    if (!deferring())
        showDeferred();
}

void SyncPageView::showDeferredSoon()
{
    if (m_showTimer->isActive())
        return;
    const qint64 waitMs = m_sinceShown.isValid() ? showIntervalMs - m_sinceShown.elapsed() : 0;
    if (waitMs <= 0)
        showDeferred();
    else
        m_showTimer->start(int(waitMs));
}

void SyncPageView::showDeferred()
{
    m_showTimer->stop();
    m_sinceShown.start();
    if (m_pageChangePending)
        showPage();
    if (m_pendingLines.isEmpty())
        return;
    // One call for the batch: one edit of the document, one layout of the
    // new blocks, one scroll. Each line is a block of its own.
    m_logTextView->appendPlainText(m_pendingLines.size() == 1 ? m_pendingLines.first()
                                                              : m_pendingLines.join(QLatin1Char('\n')));
    m_pendingLines.clear();
    dropOldestShownLines();
    // Before the scroll: the note, when it appears, takes some of the view's height.
    showLogNote();
    scrollLogToEnd();
}

void SyncPageView::scrollLogToEnd()
{
    // The lines the scroll brings into view can be wider than the view, and
    // the horizontal bar that then appears takes a line of its height.
    QScrollBar *bar = m_logTextView->verticalScrollBar();
    for (int tries = 0; tries < 3 && bar->value() != bar->maximum(); ++tries)
        bar->setValue(bar->maximum());
}

void SyncPageView::dropOldestShownLines()
{
    // Older lines leave the view as new ones come, so that it stays as cheap
    // however long the run. They are selected by position in one step: a
    // cursor moved block by block (as QTextDocument's own block limit does)
    // lays out every block it passes.
    QTextDocument *document = m_logTextView->document();
    const int excess = document->blockCount() - m_shownLogLines;
    if (excess <= 0)
        return;
    QTextCursor cursor(document);
    cursor.setPosition(document->findBlockByNumber(excess).position(), QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
}

void SyncPageView::setShownLogLines(int lines)
{
    m_shownLogLines = qMax(1, lines);
    dropOldestShownLines();
    showLogNote();
    scrollLogToEnd();
}

void SyncPageView::showLogNote()
{
    const bool cut = m_loggedLines > m_shownLogLines;
    if (cut) {
        const QLocale locale;
        m_logNote->setText(QStringLiteral("Showing the newest %1 of %2 lines: Save Log... writes them all")
                               .arg(locale.toString(m_shownLogLines), locale.toString(m_loggedLines)));
    }
    m_logNote->setVisible(cut);
}

bool SyncPageView::saveLog(const QString &fileName)
{
    QSaveFile file(fileName);
    const bool saved = file.open(QIODevice::WriteOnly) && file.write(m_escapedLog) >= 0 && file.commit();
    if (!saved)
        m_page.logDateAndTitle(QStringLiteral("Error: Cannot save the log to %1: %2").arg(fileName, file.errorString()));
    return saved;
}

void SyncPageView::onSaveLogPressed()
{
    const QString fileName = QFileDialog::getSaveFileName(
        this, QStringLiteral("Save Log"), QDir::home().filePath(QStringLiteral("OrvanaSync log.txt")),
        QStringLiteral("Text files (*.txt);;All files (*)"));
    if (!fileName.isEmpty())
        saveLog(fileName);
}

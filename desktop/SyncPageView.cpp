#include "desktop/SyncPageView.h"

#include "app/SyncPage.h"
#include "platform/ControlCharacters.h"

#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSvgRenderer>
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
      m_syncSyncButton(new QPushButton(QStringLiteral("Sync"), this)),
      m_syncExitButton(new QPushButton(QStringLiteral("Exit"), this)),
      m_syncVerifyButton(new QPushButton(QStringLiteral("Verify"), this))
{
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

    m_syncSyncButton->setObjectName(QStringLiteral("syncSyncButton"));
    m_syncSyncButton->setDefault(true);
    m_syncExitButton->setObjectName(QStringLiteral("syncExitButton"));
    m_syncVerifyButton->setObjectName(QStringLiteral("syncVerifyButton"));
    m_syncVerifyButton->setToolTip(QStringLiteral("Check that the server will find every song and cover on its share"));
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_syncVerifyButton);
    buttons->addStretch(1);
    buttons->addWidget(m_syncExitButton);
    buttons->addWidget(m_syncSyncButton);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(pictures);
    layout->addWidget(m_syncOperation);
    layout->addLayout(lines);
    layout->addWidget(m_progressBar);
    layout->addWidget(m_logTextView, 1);
    layout->addLayout(buttons);

    connect(m_syncSyncButton, &QPushButton::clicked, this, &SyncPageView::syncPressed);
    connect(m_syncExitButton, &QPushButton::clicked, this, &SyncPageView::exitPressed);
    connect(m_syncVerifyButton, &QPushButton::clicked, this, &SyncPageView::verifyPressed);
    connect(&m_page, &SyncPage::pageChanged, this, &SyncPageView::showPage);
    connect(&m_page, &SyncPage::lineLogged, this, &SyncPageView::appendLogLine);
    connect(&m_page, &SyncPage::syncEnabledChanged, m_syncSyncButton, &QPushButton::setEnabled);
    // A check and a run never overlap: Verify is there when Sync is.
    connect(&m_page, &SyncPage::syncEnabledChanged, m_syncVerifyButton, &QPushButton::setEnabled);

    showPage();
    m_syncSyncButton->setEnabled(m_page.isSyncEnabled());
    m_syncVerifyButton->setEnabled(m_page.isSyncEnabled());
    if (!m_page.logText().isEmpty()) {
        QStringList lines = m_page.logText().chopped(1).split(QLatin1Char('\n'));
        for (QString &line : lines)
            line = ControlCharacters::escaped(line);
        m_logTextView->setPlainText(lines.join(QLatin1Char('\n')));
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

void SyncPageView::showPage()
{
    // Song names and server answers are shown, never obeyed.
    m_syncOperation->setText(ControlCharacters::escaped(m_page.syncOperation()));
    for (int n = 0; n < 4; ++n) {
        m_syncTitles[n]->setText(ControlCharacters::escaped(m_page.syncTitle(n + 1)));
        m_syncTexts[n]->setText(ControlCharacters::escaped(m_page.syncText(n + 1)));
    }
    m_progressBar->setVisible(m_page.isProgressBarVisible());
    m_progressBar->setValue(qBound(0, m_page.progressBarValue(), 100));
}

void SyncPageView::appendLogLine(const QString &line)
{
    // One block per line: appending costs the same however long the log is.
    // A line break or an escape sequence in a title stays inside its line.
    m_logTextView->appendPlainText(ControlCharacters::escaped(line));
    // Scrolling moves the whole view's picture: once per batch of reports.
    if (m_deferScrolling && m_deferScrolling())
        return;
    scrollLogToEnd();
}

void SyncPageView::scrollLogToEnd()
{
    QScrollBar *bar = m_logTextView->verticalScrollBar();
    bar->setValue(bar->maximum());
}

#include "desktop/MainWindow.h"

#include "app/OrvanaSyncAppDelegate.h"
#include "desktop/SettingsTabView.h"
#include "desktop/SyncPageView.h"

#include <QCloseEvent>
#include <QTabWidget>

MainWindow::MainWindow(OrvanaSyncAppDelegate &delegate, QWidget *parent)
    : QMainWindow(parent),
      m_tv(new QTabWidget(this)),
      m_syncPageView(new SyncPageView(delegate.syncPage(), m_tv)),
      m_settingsTab(new SettingsTabView(delegate, m_tv))
{
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(QStringLiteral("OrvanaSync"));
    m_tv->setObjectName(QStringLiteral("tv"));
    m_syncPageView->setObjectName(QStringLiteral("syncPage"));
    m_settingsTab->setObjectName(QStringLiteral("settingsTab"));
    m_tv->addTab(m_syncPageView, QStringLiteral("Sync"));
    m_tv->addTab(m_settingsTab, QStringLiteral("Settings"));
    setCentralWidget(m_tv);
    resize(720, 600);

    connect(m_syncPageView, &SyncPageView::exitPressed, this, &MainWindow::exitRequested);
    m_syncPageView->deferShowingWhile([&delegate] { return delegate.showingReports(); });
    connect(&delegate, &OrvanaSyncAppDelegate::reportsShown, m_syncPageView, &SyncPageView::showDeferredSoon);
}

void MainWindow::selectSettingsTab()
{
    m_tv->setCurrentWidget(m_settingsTab);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // The program decides when the window goes (after the settings are saved).
    event->ignore();
    Q_EMIT exitRequested();
}

#pragma once

#include <QMainWindow>

class OrvanaSyncAppDelegate;
class QTabWidget;
class SettingsTabView;
class SyncPageView;

// The main window: the tab view "tv" with the sync page and the settings tab.
// Closing it asks to exit, as the Exit button does.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(OrvanaSyncAppDelegate &delegate, QWidget *parent = nullptr);

    QTabWidget *tv() const { return m_tv; }
    SyncPageView *syncPageView() const { return m_syncPageView; }
    SettingsTabView *settingsTab() const { return m_settingsTab; }
    // Brings the settings tab to the front.
    void selectSettingsTab();

Q_SIGNALS:
    void exitRequested();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QTabWidget *m_tv;
    SyncPageView *m_syncPageView;
    SettingsTabView *m_settingsTab;
};

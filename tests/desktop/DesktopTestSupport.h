#pragma once

#include "app/RefreshService.h"
#include "app/SettingsStore.h"
#include "desktop/DesktopSession.h"
#include "tests/discovery/FakeServiceBrowser.h"
#include "tests/secrets/FakePasswordKeyring.h"
#include "tests/support/SimulatorProcess.h"

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>


// The real proxy, sent to the simulator's port instead of the server's.
class SimulatorRefreshServiceFactory : public RefreshServiceFactory {
public:
    explicit SimulatorRefreshServiceFactory(quint16 port) : m_port(port) {}
    QString getIPAddressForHost(const QString &host) override;
    std::unique_ptr<RefreshService> createService(const QString &serviceUrl) override;

private:
    quint16 m_port;
};

// A folder with the sample library (five tracks, two albums, two
// playlists), a share folder, a Documents folder and a settings file that
// points at them.
class DesktopWorld {
public:
    static const QString morningMix; // playlist of one track
    static const QString bellsOnly;  // playlist of two tracks

    DesktopWorld();
    bool isValid() const { return m_valid; }
    QString path(const QString &name) const { return m_folder.filePath(name); }
    QString share() const { return path(QStringLiteral("share")); }
    QString documents() const { return path(QStringLiteral("Documents")); }
    QString settingsFile() const { return path(QStringLiteral("settings.conf")); }
    QString libraryExport() const { return path(QStringLiteral("library/Library.xml")); }
    // The settings of a set-up user: source, share folder, server address.
    void writeSetUpSettings(const QString &libraryId = QStringLiteral("DESKTOP-LIBRARY"));

    // A new launch over the settings file; started when start is true.
    std::unique_ptr<DesktopSession> launch(SettingsStore &store, std::shared_ptr<RefreshServiceFactory> factory = {},
                                           bool start = true);

    // The user's music folder the next launches search (null: <home>/Music).
    QString musicFolder;

    // The keyring every launch uses (never the desktop's own).
    const std::shared_ptr<FakePasswordKeyring> &keyring() const { return m_keyring; }

    // The DNS-SD browser of the last launch, driven by the test.
    FakeServiceBrowser *browser() const { return m_browser; }
    FakeBrowserCalls &browserCalls() { return m_browserCalls; }

private:
    QTemporaryDir m_folder;
    FakeServiceBrowser *m_browser = nullptr;
    FakeBrowserCalls m_browserCalls;
    std::shared_ptr<FakePasswordKeyring> m_keyring = std::make_shared<FakePasswordKeyring>();
    bool m_valid = false;
};

// Waits for the predicate, running the event loop; false on timeout.
bool waitUntil(const std::function<bool()> &predicate, int timeoutMs = 30000);
// The session's library load, or false after the timeout.
bool waitForLoad(DesktopSession &session);
// The named child of the window.
template <typename T>
T *control(DesktopSession &session, const QString &name);
QObject *findControl(DesktopSession &session, const QString &name);
template <typename T>
T *control(DesktopSession &session, const QString &name)
{
    return qobject_cast<T *>(findControl(session, name));
}
// The files below folder, relative to it, sorted (hidden ones too).
QStringList filesBelow(const QString &folder);

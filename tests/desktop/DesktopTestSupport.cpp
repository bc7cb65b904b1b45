#include "tests/desktop/DesktopTestSupport.h"

#include "app/OVWSRefreshServiceFactory.h"
#include "desktop/MainWindow.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTest>

const QString DesktopWorld::morningMix = QStringLiteral("00000000000000B1");
const QString DesktopWorld::bellsOnly = QStringLiteral("00000000000000B2");

QString SimulatorRefreshServiceFactory::getIPAddressForHost(const QString &host)
{
    return OVWSRefreshServiceFactory().getIPAddressForHost(host);
}

std::unique_ptr<RefreshService> SimulatorRefreshServiceFactory::createService(const QString &serviceUrl)
{
    QString url = serviceUrl;
    url.replace(QStringLiteral(":8731/"), QStringLiteral(":%1/").arg(m_port));
    return OVWSRefreshServiceFactory().createService(url);
}

DesktopWorld::DesktopWorld()
{
    if (!m_folder.isValid() || !QDir().mkpath(share()) || !QDir().mkpath(documents()))
        return;
    QProcess maker;
    maker.setProcessChannelMode(QProcess::MergedChannels);
    maker.start(QStringLiteral("python3"), {QStringLiteral(ORVANA_SAMPLE_MAKER), path(QStringLiteral("library"))});
    m_valid = maker.waitForFinished(60000) && maker.exitStatus() == QProcess::NormalExit && maker.exitCode() == 0 &&
              QFile::exists(libraryExport());
}

void DesktopWorld::writeSetUpSettings(const QString &libraryId)
{
    SettingsStore store(settingsFile());
    store.setValue(SettingsStore::MusicSourceKey, libraryExport());
    store.setValue(SettingsStore::ShareFolderKey, share());
    store.setValue(SettingsStore::MusicServerIPAddressKey, QStringLiteral("127.0.0.1"));
    store.setValue(SettingsStore::SelectByIPAddressKey, true);
    store.setValue(SettingsStore::ITunesLibraryNameKey, QStringLiteral("Desktop Library"));
    store.setValue(SettingsStore::iTunesGUIDKey, libraryId);
}

std::unique_ptr<DesktopSession> DesktopWorld::launch(SettingsStore &store, std::shared_ptr<RefreshServiceFactory> factory,
                                                     bool start)
{
    DesktopSession::Options options;
    options.documentsFolder = documents();
    options.homePath = path(QStringLiteral("home"));
    options.musicFolder = musicFolder;
    options.refreshServiceFactory = std::move(factory);
    options.passwordKeyring = m_keyring;
    options.makeServiceBrowser = [this] {
        auto browser = std::make_unique<FakeServiceBrowser>(&m_browserCalls);
        m_browser = browser.get();
        return browser;
    };
    auto session = std::make_unique<DesktopSession>(store, options);
    session->delegate().syncPage().setClock([] { return QStringLiteral("12:00:00"); });
    session->window().show();
    if (start)
        session->applicationDidFinishLaunching();
    return session;
}

bool waitUntil(const std::function<bool()> &predicate, int timeoutMs)
{
    return QTest::qWaitFor(predicate, timeoutMs);
}

bool waitForLoad(DesktopSession &session)
{
    return waitUntil([&session] { return session.libraryLoaded(); });
}

QObject *findControl(DesktopSession &session, const QString &name)
{
    return session.window().findChild<QObject *>(name);
}

QStringList filesBelow(const QString &folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(QDir(folder).relativeFilePath(it.next()));
    files.sort();
    return files;
}

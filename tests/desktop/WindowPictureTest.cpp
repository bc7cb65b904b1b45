#include "desktop/MainWindow.h"
#include "desktop/SettingsTabView.h"
#include "desktop/SyncPageView.h"
#include "tests/desktop/DesktopTestSupport.h"

#include <QGuiApplication>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// Run by ctest under xvfb-run with the xcb platform: a picture of each tab as
// a first-time user sees it, saved in the build folder for a person to look at.
TEST(WindowPictureTest, EachTabIsSavedAsAPicture)
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        GTEST_SKIP() << "runs on the xcb platform (the desktop.WindowUnderXvfb test)";
    DesktopWorld world;
    ASSERT_TRUE(world.isValid());
    SimulatorProcess simulator;
    ASSERT_EQ(simulator.start(world.share(), world.path(QStringLiteral("requests.log")), {}, 0).toStdString(), "");
    SettingsStore store(world.settingsFile());
    store.setValue(SettingsStore::MusicSourceKey, world.libraryExport());
    store.setValue(SettingsStore::ShareFolderKey, world.share());
    auto session = world.launch(store, std::make_shared<SimulatorRefreshServiceFactory>(simulator.port()));
    session->delegate().syncPage().setClock(&SyncPage::localTime);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&session->window()));
    ASSERT_TRUE(waitForLoad(*session));

    const QString folder = qEnvironmentVariable("ORVANA_BINARY_DIR", QStringLiteral("."));
    MainWindow &window = session->window();
    ASSERT_EQ(window.tv()->currentWidget(), static_cast<QWidget *>(window.settingsTab()))
        << "a first-time user sees the settings first";
    QTest::qWait(100);
    const QString settingsPicture = folder + QStringLiteral("/desktop-settings-tab.png");
    ASSERT_TRUE(window.grab().save(settingsPicture));

    window.tv()->setCurrentWidget(window.syncPageView());
    const QString readyPicture = folder + QStringLiteral("/desktop-sync-page-ready.png");
    QTest::qWait(100);
    ASSERT_TRUE(window.grab().save(readyPicture));

    bool completed = false;
    QObject::connect(&session->delegate(), &OrvanaSyncAppDelegate::syncCompleted, &window, [&] { completed = true; });
    QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("syncSyncButton")), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&completed] { return completed; }));
    QTest::qWait(300);
    const QString runPicture = folder + QStringLiteral("/desktop-sync-page-after-run.png");
    ASSERT_TRUE(window.grab().save(runPicture));
    for (const QString &picture : {settingsPicture, readyPicture, runPicture})
        EXPECT_GT(QImage(picture).width(), 400) << picture.toStdString();
}

} // namespace

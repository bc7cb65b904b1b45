#include "app/SettingsStore.h"
#include "desktop/SyncPageView.h"
#include "tests/desktop/DesktopTestSupport.h"

#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::HasSubstr;

namespace {

// The Verify button of the real window, after a real run of its Sync button.
class DesktopVerifyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(world.isValid());
        ASSERT_EQ(simulator.start(world.share(), world.path(QStringLiteral("requests.log")), {}, 0).toStdString(), "");
        world.writeSetUpSettings();
        store = std::make_unique<SettingsStore>(world.settingsFile());
        session = world.launch(*store, std::make_shared<SimulatorRefreshServiceFactory>(simulator.port()));
        ASSERT_TRUE(waitForLoad(*session));
        QObject::connect(&session->verification(), &ShareVerification::finished, session.get(),
                         [this](int outcome) { lastOutcome = outcome; });
    }
    void TearDown() override { session.reset(); }

    QPushButton *button(const QString &name) { return control<QPushButton>(*session, name); }
    QString log() { return control<QPlainTextEdit>(*session, QStringLiteral("logTextView"))->toPlainText(); }
    void pressVerifyAndWait()
    {
        lastOutcome.reset();
        QTest::mouseClick(button(QStringLiteral("syncVerifyButton")), Qt::LeftButton);
        ASSERT_TRUE(waitUntil([this] { return lastOutcome.has_value(); }));
    }

    DesktopWorld world;
    SimulatorProcess simulator;
    std::unique_ptr<SettingsStore> store;
    std::unique_ptr<DesktopSession> session;
    std::optional<int> lastOutcome;
};

TEST_F(DesktopVerifyTest, TheFindingsGoToTheLogAndTheButtonsComeBack)
{
    bool completed = false;
    QObject::connect(&session->delegate(), &OrvanaSyncAppDelegate::refreshAnswered, session.get(),
                     [&completed](bool) { completed = true; });
    QTest::mouseClick(button(QStringLiteral("syncSyncButton")), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&completed] { return completed; }));
    ASSERT_TRUE(button(QStringLiteral("syncVerifyButton"))->isEnabled());

    pressVerifyAndWait();
    EXPECT_EQ(*lastOutcome, ShareVerification::Consistent) << log().toStdString();
    EXPECT_THAT(log().toStdString(), HasSubstr(": Checked 5 songs, 2 album covers, "));
    EXPECT_THAT(log().toStdString(), HasSubstr(" and 8 files of the library DESKTOP-LIBRARY on "));
    EXPECT_THAT(log().toStdString(), HasSubstr(" against 5 tracks of the music source\n"));
    EXPECT_THAT(log().toStdString(), HasSubstr(": The share is consistent: the server will find every song and cover"));
    EXPECT_EQ(control<QLabel>(*session, QStringLiteral("syncOperation"))->text(), QStringLiteral("The share is consistent"));

    ASSERT_TRUE(QFile::remove(world.share() + QStringLiteral("/Music/Ann Arbor/First Light/01 Morning.mp3")));
    pressVerifyAndWait();
    EXPECT_EQ(*lastOutcome, ShareVerification::Inconsistent);
    EXPECT_THAT(log().toStdString(),
                HasSubstr(": Missing song file: Music/Ann Arbor/First Light/01 Morning.mp3 (Morning, ID "));
    EXPECT_THAT(log().toStdString(), HasSubstr(": Found 1 problems: 1 missing song files"));
    EXPECT_EQ(control<QLabel>(*session, QStringLiteral("syncOperation"))->text(),
              QStringLiteral("The share has problems: the log lists them"));
    EXPECT_TRUE(button(QStringLiteral("syncSyncButton"))->isEnabled());
    EXPECT_TRUE(button(QStringLiteral("syncVerifyButton"))->isEnabled());
}

} // namespace

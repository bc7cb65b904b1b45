#include "app/SettingsStore.h"
#include "desktop/MainWindow.h"
#include "desktop/SettingsTabView.h"
#include "desktop/SyncPageView.h"
#include "desktop/PlaylistTableView.h"
#include "library/Notify.h"
#include "tests/desktop/DesktopTestSupport.h"
#include "tests/support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>

#include <cstdio>

#include <utime.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::HasSubstr;

namespace {

class DesktopRunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(world.isValid());
        ASSERT_EQ(simulator.start(world.share(), world.path(QStringLiteral("requests.log")), {}, 0).toStdString(), "");
        world.writeSetUpSettings();
        store = std::make_unique<SettingsStore>(world.settingsFile());
        session = world.launch(*store, std::make_shared<SimulatorRefreshServiceFactory>(simulator.port()));
        ASSERT_TRUE(waitForLoad(*session));
        QObject::connect(&session->delegate(), &OrvanaSyncAppDelegate::refreshAnswered, session.get(),
                         [this](bool succeeded) { refreshSucceeded = succeeded; });
    }
    void TearDown() override { session.reset(); }

    QString text(const QString &name) { return control<QLabel>(*session, name)->text(); }
    QPushButton *button(const QString &name) { return control<QPushButton>(*session, name); }
    void pressSyncAndWaitForTheRefresh()
    {
        QTest::mouseClick(button(QStringLiteral("syncSyncButton")), Qt::LeftButton);
        ASSERT_TRUE(waitUntil([this] { return refreshSucceeded.has_value(); }));
        EXPECT_TRUE(*refreshSucceeded);
    }
    QStringList totals()
    {
        QStringList lines;
        for (int n = 1; n <= 4; ++n) {
            if (!text(QStringLiteral("syncTitle%1").arg(n)).isEmpty())
                lines.append(text(QStringLiteral("syncTitle%1").arg(n)));
        }
        return lines;
    }
    QByteArray libraryFile() const
    {
        QFile file(world.share() + QStringLiteral("/Library/DESKTOP-LIBRARY.xml"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    DesktopWorld world;
    SimulatorProcess simulator;
    std::unique_ptr<SettingsStore> store;
    std::unique_ptr<DesktopSession> session;
    std::optional<bool> refreshSucceeded;
};

TEST_F(DesktopRunTest, AWholeRunCopiesEverythingAndShowsTheTotals)
{
    pressSyncAndWaitForTheRefresh();
    EXPECT_EQ(text(QStringLiteral("syncOperation")), QStringLiteral("Completed iTunes Synchronization"));
    EXPECT_EQ(totals(), (QStringList{QStringLiteral("Processed 5 tracks and 2 album covers"),
                                     QStringLiteral("Copied 5 tracks and 2 album covers"),
                                     QStringLiteral("0 tracks unchanged and 0 album covers unchanged")}));
    EXPECT_TRUE(button(QStringLiteral("syncSyncButton"))->isEnabled());
    EXPECT_EQ(libraryFile().count("<Song "), 5);
    EXPECT_EQ(filesBelow(world.share()).filter(QStringLiteral("Music/")).size(), 5);

    const auto *log = control<QPlainTextEdit>(*session, QStringLiteral("logTextView"));
    EXPECT_EQ(log->toPlainText() + u'\n', session->delegate().syncPage().logText()) << "the view shows the whole log";
    EXPECT_THAT(log->toPlainText().toStdString(), HasSubstr("12:00:00: Starting synchronization\n"));
    EXPECT_THAT(log->toPlainText().toStdString(), HasSubstr("12:00:00: Successfully Refreshed Orvana Media Library"));
    EXPECT_EQ(log->verticalScrollBar()->value(), log->verticalScrollBar()->maximum()) << "scrolled to the last line";

    // The second run finds everything on the share already.
    refreshSucceeded.reset();
    pressSyncAndWaitForTheRefresh();
    EXPECT_EQ(totals(), (QStringList{QStringLiteral("Processed 5 tracks and 2 album covers"),
                                     QStringLiteral("Copied 0 tracks and 0 album covers"),
                                     QStringLiteral("5 tracks unchanged and 2 album covers unchanged")}));
    const QList<QJsonObject> refreshes = simulator.refreshRequests();
    ASSERT_EQ(refreshes.size(), 2);
    EXPECT_THAT(QJsonDocument(refreshes.last()).toJson().toStdString(), HasSubstr("16384"));
}

TEST_F(DesktopRunTest, ARunWhoseLogOutgrowsTheViewShowsItsNewestLinesAndSavesThemAll)
{
    SyncPageView *view = session->window().syncPageView();
    view->setShownLogLines(3);
    pressSyncAndWaitForTheRefresh();
    const QString whole = session->delegate().syncPage().logText();
    ASSERT_GT(whole.count(u'\n'), 10);
    const auto *log = control<QPlainTextEdit>(*session, QStringLiteral("logTextView"));
    EXPECT_EQ(log->blockCount(), 3);
    EXPECT_TRUE(whole.endsWith(log->toPlainText() + u'\n')) << "the newest lines, in order";
    EXPECT_THAT(log->toPlainText().toStdString(), HasSubstr("Successfully Refreshed Orvana Media Library"));
    EXPECT_EQ(log->verticalScrollBar()->value(), log->verticalScrollBar()->maximum());
    EXPECT_TRUE(control<QLabel>(*session, QStringLiteral("syncLogNote"))->isVisibleTo(view));

    const QString fileName = world.path(QStringLiteral("saved log.txt"));
    ASSERT_TRUE(view->saveLog(fileName));
    QFile saved(fileName);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(saved.readAll()), whole) << "every line of the run";
}

TEST_F(DesktopRunTest, ASelectedPlaylistsRunCopiesOnlyTheTickedPlaylist)
{
    session->window().tv()->setCurrentWidget(session->window().settingsTab());
    QTest::mouseClick(control<QRadioButton>(*session, QStringLiteral("syncSelectedPlaylistsCell")), Qt::LeftButton);
    auto *picker = control<PlaylistTableView>(*session, QStringLiteral("playlistTableView"));
    ASSERT_EQ(picker->numberOfRowsInTableView(), 2);
    picker->setCurrentIndex(picker->model()->index(1, 0));
    QTest::keyClick(picker, Qt::Key_Space);
    ASSERT_EQ(picker->selectedPlaylists()->keys(), QStringList{DesktopWorld::bellsOnly});
    session->window().tv()->setCurrentWidget(session->window().syncPageView());

    pressSyncAndWaitForTheRefresh();
    EXPECT_EQ(totals(), (QStringList{QStringLiteral("Processed 2 tracks and 1 album covers"),
                                     QStringLiteral("Copied 2 tracks and 1 album covers"),
                                     QStringLiteral("0 tracks unchanged and 0 album covers unchanged")}));
    EXPECT_EQ(filesBelow(world.share()).filter(QStringLiteral("Music/")),
              (QStringList{QStringLiteral("Music/Bob & The Bells/Second Wind/01 Ring.mp3"),
                           QStringLiteral("Music/Bob & The Bells/Second Wind/02 Chime.mp3")}));
    EXPECT_TRUE(libraryFile().contains("Bells Only"));
    EXPECT_FALSE(libraryFile().contains("Morning Mix"));
    EXPECT_THAT(session->delegate().syncPage().logText().toStdString(), HasSubstr("Copying Playlist: Bells Only"));
}

TEST_F(DesktopRunTest, AnEmptyLibraryIsPublishedOnlyWhenTheUserSaysSo)
{
    pressSyncAndWaitForTheRefresh();
    const QByteArray published = libraryFile();
    ASSERT_EQ(published.count("<Song "), 5);

    // Playlists chosen, none ticked: the run would list nothing.
    session->window().tv()->setCurrentWidget(session->window().settingsTab());
    QTest::mouseClick(control<QRadioButton>(*session, QStringLiteral("syncSelectedPlaylistsCell")), Qt::LeftButton);
    session->window().tv()->setCurrentWidget(session->window().syncPageView());
    refreshSucceeded.reset();
    QTest::mouseClick(button(QStringLiteral("syncSyncButton")), Qt::LeftButton);
    QMessageBox *question = session->emptyLibraryQuestion();
    ASSERT_NE(question, nullptr);
    EXPECT_TRUE(question->isVisible());
    EXPECT_THAT(question->text().toStdString(), HasSubstr("The ticked playlists have no tracks to publish"));
    EXPECT_THAT(question->text().toStdString(), HasSubstr("lists 5 songs"));
    EXPECT_EQ(question->defaultButton(), question->button(QMessageBox::Cancel));
    EXPECT_EQ(text(QStringLiteral("syncOperation")), QStringLiteral("Not publishing an empty library"));
    EXPECT_TRUE(button(QStringLiteral("syncSyncButton"))->isEnabled());

    // Cancel (or Escape) keeps the server's library as it is.
    QTest::keyClick(question, Qt::Key_Escape);
    ASSERT_TRUE(waitUntil([this] { return session->emptyLibraryQuestion() == nullptr; }));
    EXPECT_EQ(libraryFile(), published);
    EXPECT_THAT(session->delegate().syncPage().logText().toStdString(),
                HasSubstr("The run would list no tracks in place of the 5 songs of"));

    // Asked again, and this time the user publishes it.
    QTest::mouseClick(button(QStringLiteral("syncSyncButton")), Qt::LeftButton);
    question = session->emptyLibraryQuestion();
    ASSERT_NE(question, nullptr);
    QTest::mouseClick(control<QPushButton>(*session, QStringLiteral("publishEmptyLibraryButton")), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([this] { return refreshSucceeded.has_value(); }));
    EXPECT_EQ(libraryFile().count("<Song "), 0);

    // That answer was for one run: with the share's file now empty there is
    // nothing to protect, and a selection naming nothing runs unasked.
    refreshSucceeded.reset();
    QTest::mouseClick(button(QStringLiteral("syncSyncButton")), Qt::LeftButton);
    EXPECT_EQ(session->emptyLibraryQuestion(), nullptr);
    ASSERT_TRUE(waitUntil([this] { return refreshSucceeded.has_value(); }));
    EXPECT_EQ(simulator.refreshRequests().size(), 3) << "none for the refused runs";
}

TEST_F(DesktopRunTest, LoadTakesTheMusicSourceOfTheFieldsAndKeepsTheTicks)
{
    pressSyncAndWaitForTheRefresh();
    session->window().tv()->setCurrentWidget(session->window().settingsTab());
    auto *picker = control<PlaylistTableView>(*session, QStringLiteral("playlistTableView"));
    picker->setCurrentIndex(picker->model()->index(1, 0));
    QTest::keyClick(picker, Qt::Key_Space);
    ASSERT_EQ(picker->selectedPlaylists()->keys(), QStringList{DesktopWorld::bellsOnly});

    // The music disk is not connected: its mount point is an empty folder.
    const QString emptyDisk = world.path(QStringLiteral("disk"));
    ASSERT_TRUE(QDir().mkpath(emptyDisk));
    auto *source = control<QLineEdit>(*session, QStringLiteral("musicSource"));
    source->setText(emptyDisk);
    QPushButton *load = button(QStringLiteral("loadMusicSource"));
    ASSERT_TRUE(load->isEnabled());
    QTest::mouseClick(load, Qt::LeftButton);
    EXPECT_FALSE(load->isEnabled()) << "not while the load goes on";
    EXPECT_FALSE(button(QStringLiteral("syncSyncButton"))->isEnabled());
    ASSERT_TRUE(waitUntil([this] { return session->libraryLoaded(); }));
    EXPECT_TRUE(load->isEnabled());
    EXPECT_EQ(picker->numberOfRowsInTableView(), 0);
    EXPECT_EQ(SettingsStore(world.settingsFile()).string(SettingsStore::MusicSourceKey), emptyDisk)
        << "the source loaded is the one stored";

    // Its empty library is not published unasked.
    session->window().tv()->setCurrentWidget(session->window().syncPageView());
    QTest::mouseClick(button(QStringLiteral("syncSyncButton")), Qt::LeftButton);
    QMessageBox *question = session->emptyLibraryQuestion();
    ASSERT_NE(question, nullptr);
    EXPECT_THAT(question->text().toStdString(), HasSubstr("The music library has no tracks to publish"));
    QTest::keyClick(question, Qt::Key_Escape);
    ASSERT_TRUE(waitUntil([this] { return session->emptyLibraryQuestion() == nullptr; }));
    EXPECT_EQ(libraryFile().count("<Song "), 5);

    // Connected again: the library is back, the tick kept, nothing to copy.
    session->window().tv()->setCurrentWidget(session->window().settingsTab());
    source->setText(world.libraryExport());
    QTest::mouseClick(load, Qt::LeftButton);
    ASSERT_TRUE(waitUntil([this] { return session->libraryLoaded(); }));
    ASSERT_EQ(picker->numberOfRowsInTableView(), 2);
    EXPECT_EQ(picker->selectedPlaylists()->keys(), QStringList{DesktopWorld::bellsOnly});
    session->window().tv()->setCurrentWidget(session->window().syncPageView());
    refreshSucceeded.reset();
    pressSyncAndWaitForTheRefresh();
    EXPECT_EQ(totals(), (QStringList{QStringLiteral("Processed 5 tracks and 2 album covers"),
                                     QStringLiteral("Copied 0 tracks and 0 album covers"),
                                     QStringLiteral("5 tracks unchanged and 2 album covers unchanged")}));
    EXPECT_THAT(session->delegate().syncPage().logText().toStdString(), HasSubstr("Loading the music source again"));
}

TEST_F(DesktopRunTest, AnExportRewrittenSinceTheLoadIsLoadedAgainBeforeTheRun)
{
    pressSyncAndWaitForTheRefresh();
    ASSERT_TRUE(libraryFile().contains("Title=\"Ring\""));

    // The library's program writes its export anew (to a new file put in
    // place), a song renamed meanwhile.
    QByteArray exported = testsupport::readFile(world.libraryExport());
    ASSERT_TRUE(exported.contains("<string>Ring</string>"));
    exported.replace("<string>Ring</string>", "<string>Ring Again</string>");
    const QString rewritten = world.libraryExport() + QStringLiteral(".new");
    testsupport::writeFile(rewritten, exported);
    ASSERT_EQ(::rename(QFile::encodeName(rewritten).constData(), QFile::encodeName(world.libraryExport()).constData()),
              0);

    refreshSucceeded.reset();
    pressSyncAndWaitForTheRefresh();
    const std::string log = session->delegate().syncPage().logText().toStdString();
    EXPECT_THAT(log, HasSubstr("The library export has changed since it was loaded: loading it again first"));
    EXPECT_TRUE(libraryFile().contains("Title=\"Ring Again\""));
    EXPECT_FALSE(libraryFile().contains("Title=\"Ring\""));
    EXPECT_EQ(totals(), (QStringList{QStringLiteral("Processed 5 tracks and 2 album covers"),
                                     QStringLiteral("Copied 0 tracks and 0 album covers"),
                                     QStringLiteral("5 tracks unchanged and 2 album covers unchanged")}));

    // Unchanged since: the next run does not load it again.
    const qsizetype loads = session->delegate().syncPage().logText().count(QStringLiteral("loading it again first"));
    refreshSucceeded.reset();
    pressSyncAndWaitForTheRefresh();
    EXPECT_EQ(session->delegate().syncPage().logText().count(QStringLiteral("loading it again first")), loads);

    // Verify compares the export as it is now too.
    ASSERT_EQ(::utime(QFile::encodeName(world.libraryExport()).constData(), nullptr), 0);
    std::optional<int> outcome;
    QObject::connect(&session->verification(), &ShareVerification::finished, session.get(),
                     [&outcome](int value) { outcome = value; });
    QTest::mouseClick(button(QStringLiteral("syncVerifyButton")), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&outcome] { return outcome.has_value(); }));
    EXPECT_EQ(*outcome, ShareVerification::Consistent);
    EXPECT_EQ(session->delegate().syncPage().logText().count(QStringLiteral("loading it again first")), loads + 1);
}

TEST_F(DesktopRunTest, ExitDuringARunSavesTheSettingsAndLeavesTheShareWhole)
{
    bool ended = false;
    bool exitPressed = false;
    QObject::connect(session.get(), &DesktopSession::terminated, session.get(), [&ended] { ended = true; });
    // Exit is pressed while the first track is being copied.
    QObject::connect(&session->delegate().syncPage(), &SyncPage::lineLogged, session.get(), [&](const QString &line) {
        if (exitPressed || !line.contains(QStringLiteral("Song: ")))
            return;
        exitPressed = true;
        QMetaObject::invokeMethod(
            session.get(),
            [this] { QTest::mouseClick(button(QStringLiteral("syncExitButton")), Qt::LeftButton); },
            Qt::QueuedConnection);
    });
    control<QLineEdit>(*session, QStringLiteral("ovMusicServerUserName"))->setText(QStringLiteral("during-run"));
    QTest::mouseClick(button(QStringLiteral("syncSyncButton")), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&ended] { return ended; }));
    ASSERT_TRUE(exitPressed);
    EXPECT_FALSE(session->window().isVisible());
    EXPECT_FALSE(session->delegate().syncInProgress());
    EXPECT_EQ(SettingsStore(world.settingsFile()).string(SettingsStore::MusicServerUserNameKey),
              QStringLiteral("during-run"));
    EXPECT_THAT(session->delegate().syncPage().logText().toStdString(),
                HasSubstr("Stopped OrvanaSync for iTunes on the Mac"));
    EXPECT_TRUE(session->delegate().stopRequested());
    EXPECT_LT(filesBelow(world.share()).filter(QStringLiteral("Music/")).size(), 5) << "stopped before the end";
    EXPECT_TRUE(simulator.refreshRequests().isEmpty()) << "a stopped run sends no refresh";

    // No partial file under a final name, description files whole.
    for (const QString &file : filesBelow(world.share()))
        EXPECT_FALSE(file.endsWith(QStringLiteral(".partial"))) << file.toStdString();
    // The library file lists exactly the songs on the share.
    const QByteArray library = libraryFile();
    ASSERT_FALSE(library.isEmpty());
    EXPECT_TRUE(library.trimmed().endsWith(">")) << "a whole description file";
    EXPECT_EQ(library.count("<Song "), filesBelow(world.share()).filter(QStringLiteral("Music/")).size());
    for (const QString &file : filesBelow(world.share()).filter(QStringLiteral("Music/"))) {
        const QString name = QFileInfo(file).fileName();
        const QStringList sources = filesBelow(world.path(QStringLiteral("library/Music"))).filter(name);
        ASSERT_FALSE(sources.isEmpty()) << file.toStdString();
        EXPECT_EQ(QFileInfo(world.share() + u'/' + file).size(),
                  QFileInfo(world.path(QStringLiteral("library/Music/")) + sources.first()).size())
            << file.toStdString();
    }
}

TEST_F(DesktopRunTest, ThePageShowsEachReportOfTheModel)
{
    SyncPage &page = session->delegate().syncPage();
    auto *bar = control<QProgressBar>(*session, QStringLiteral("progressBar"));
    page.onSyncNotifictionEvent(nullptr);
    Notify copying;
    copying.setActivity(7);
    copying.setMessages(QStringList{QStringLiteral("Ring"), QStringLiteral("Second Wind")});
    copying.setProgress(3);
    copying.setMaxProgress(4);
    page.onSyncNotifictionEvent(&copying);
    EXPECT_FALSE(bar->isHidden());
    EXPECT_EQ(bar->value(), 75);
    EXPECT_EQ(text(QStringLiteral("syncOperation")), QStringLiteral("Copying Music..."));
    EXPECT_EQ(text(QStringLiteral("syncTitle1")), QStringLiteral("Song:"));
    EXPECT_EQ(text(QStringLiteral("syncText2")), QStringLiteral("Second Wind"));
    EXPECT_EQ(text(QStringLiteral("syncText3")), QStringLiteral(""));
    Notify stage;
    stage.setActivity(6);
    stage.setTitle(QStringLiteral("Writing the library file"));
    page.onSyncNotifictionEvent(&stage);
    EXPECT_TRUE(bar->isHidden());
    EXPECT_EQ(text(QStringLiteral("syncTitle1")), QStringLiteral(""));
    page.enableSync(false);
    EXPECT_FALSE(button(QStringLiteral("syncSyncButton"))->isEnabled());
    EXPECT_TRUE(button(QStringLiteral("syncExitButton"))->isEnabled());
    for (const QString &picture : {QStringLiteral("syncSourceImg"), QStringLiteral("syncTargetImg"),
                                   QStringLiteral("syncOperationImg")}) {
        const QLabel *image = control<QLabel>(*session, picture);
        ASSERT_NE(image, nullptr);
        EXPECT_FALSE(image->pixmap().isNull());
        EXPECT_NE(image->pixmap().toImage().pixel(48, 48), image->pixmap().toImage().pixel(0, 0))
            << picture.toStdString() << " draws something";
    }
}

TEST_F(DesktopRunTest, ControlCharactersInTitlesAndAnswersAreShownEscapedOnTheirOwnLine)
{
    SyncPage &page = session->delegate().syncPage();
    auto *log = control<QPlainTextEdit>(*session, QStringLiteral("logTextView"));
    const int blocksBefore = log->blockCount();
    Notify copying;
    copying.setActivity(7);
    copying.setMessages(QStringList{QStringLiteral("Ring\r\nError: forged\x1b[2J"), QStringLiteral("Wind") + QChar(0x2029)});
    copying.setProgress(1);
    copying.setMaxProgress(4);
    page.onSyncNotifictionEvent(&copying);
    Notify fault;
    fault.setActivity(1);
    fault.setTitle(QStringLiteral("SOAP fault\a") + QChar(0x9b) + QStringLiteral("31m"));
    page.onSyncNotifictionEvent(&fault);
    EXPECT_EQ(text(QStringLiteral("syncText1")), QStringLiteral("Ring\\r\\nError: forged\\e[2J"));
    EXPECT_EQ(text(QStringLiteral("syncText2")), QStringLiteral("Wind\\u2029"));
    // Each report is one block of the view: the progress bar's line, the song, the fault.
    EXPECT_EQ(log->blockCount(), blocksBefore + 3);
    const QString shown = log->toPlainText();
    EXPECT_THAT(shown.toStdString(), HasSubstr("Song: Ring\\r\\nError: forged\\e[2J, Album: Wind\\u2029, Artist: \n"));
    EXPECT_THAT(shown.toStdString(), HasSubstr("Debug: SOAP fault\\a\\u009b31m"));
    // The model keeps the text as reported.
    EXPECT_THAT(page.logText().toStdString(), HasSubstr("Ring\r\nError: forged\x1b[2J"));
}

TEST_F(DesktopRunTest, VerifyAfterARunWritesTheFindingsToTheLogAndTheButtonsComeBack)
{
    std::optional<int> outcome;
    QObject::connect(&session->verification(), &ShareVerification::finished, session.get(),
                     [&outcome](int value) { outcome = value; });
    const auto pressVerifyAndWait = [&] {
        outcome.reset();
        QTest::mouseClick(button(QStringLiteral("syncVerifyButton")), Qt::LeftButton);
        return waitUntil([&outcome] { return outcome.has_value(); });
    };
    const auto log = [this] {
        return control<QPlainTextEdit>(*session, QStringLiteral("logTextView"))->toPlainText().toStdString();
    };
    pressSyncAndWaitForTheRefresh();
    ASSERT_TRUE(button(QStringLiteral("syncVerifyButton"))->isEnabled());

    ASSERT_TRUE(pressVerifyAndWait());
    EXPECT_EQ(*outcome, ShareVerification::Consistent) << log();
    EXPECT_THAT(log(), HasSubstr(": Checked 5 songs, 2 album covers, "));
    EXPECT_THAT(log(), HasSubstr(" and 8 files of the library DESKTOP-LIBRARY on "));
    EXPECT_THAT(log(), HasSubstr(" against 5 tracks of the music source\n"));
    EXPECT_THAT(log(), HasSubstr(": The share is consistent: the server will find every song and cover"));
    EXPECT_EQ(text(QStringLiteral("syncOperation")), QStringLiteral("The share is consistent"));

    ASSERT_TRUE(QFile::remove(world.share() + QStringLiteral("/Music/Ann Arbor/First Light/01 Morning.mp3")));
    ASSERT_TRUE(pressVerifyAndWait());
    EXPECT_EQ(*outcome, ShareVerification::Inconsistent);
    EXPECT_THAT(log(), HasSubstr(": Missing song file: Music/Ann Arbor/First Light/01 Morning.mp3 (Morning, ID "));
    EXPECT_THAT(log(), HasSubstr(": Found 1 problems: 1 missing song files"));
    EXPECT_EQ(text(QStringLiteral("syncOperation")), QStringLiteral("The share has problems: the log lists them"));
    EXPECT_TRUE(button(QStringLiteral("syncSyncButton"))->isEnabled());
    EXPECT_TRUE(button(QStringLiteral("syncVerifyButton"))->isEnabled());
}

} // namespace

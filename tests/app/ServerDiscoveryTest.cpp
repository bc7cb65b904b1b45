#include "app/OrvanaSyncAppDelegate.h"
#include "app/SettingsStore.h"
#include "tests/discovery/FakeServiceBrowser.h"

#include <QFile>
#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>

using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

const QString entry0 = QStringLiteral("Select server using IP Address");

// The discovery rules of the delegate, driven through a fake browser.
class ServerDiscoveryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        settings = std::make_unique<SettingsStore>(folder.filePath(QStringLiteral("settings.conf")));
        trace = std::tmpfile();
        ASSERT_NE(trace, nullptr);
    }
    void TearDown() override
    {
        delegate.reset();
        std::fclose(trace);
    }

    // Restores the stored choice and starts browsing.
    void start(const QString &storedName, bool storedSelectByIPAddress)
    {
        if (!storedName.isNull())
            settings->setValue(SettingsStore::MusicServerNameKey, storedName);
        settings->setValue(SettingsStore::SelectByIPAddressKey, storedSelectByIPAddress);
        settings->setValue(SettingsStore::MusicServerIPAddressKey, QStringLiteral("192.168.1.20"));
        delegate = std::make_unique<OrvanaSyncAppDelegate>(*settings);
        delegate->syncPage().setClock([] { return QStringLiteral("12:00:00"); });
        delegate->discovery().setTraceOutput(trace);
        delegate->restoreSettings();
        QObject::connect(delegate.get(), &OrvanaSyncAppDelegate::serverEntriesChanged,
                         [this](const QStringList &entries, int index) {
                             lastEntries = entries;
                             lastIndex = index;
                             ++rebuilds;
                         });
        QObject::connect(delegate.get(), &OrvanaSyncAppDelegate::selectByIPAddressChanged,
                         [this](bool value) { fieldShown.append(value); });
        auto owned = std::make_unique<FakeServiceBrowser>(&calls);
        browser = owned.get();
        delegate->startBrowsing(std::move(owned));
    }

    void announce(const QString &name, const QList<QByteArray> &records)
    {
        browser->find(name);
        browser->resolveTo(name, records);
    }

    QString traced()
    {
        std::fflush(trace);
        std::rewind(trace);
        QByteArray bytes;
        char buffer[256];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, trace)) > 0)
            bytes.append(buffer, qsizetype(n));
        return QString::fromLatin1(bytes);
    }

    QTemporaryDir folder;
    std::unique_ptr<SettingsStore> settings;
    std::unique_ptr<OrvanaSyncAppDelegate> delegate;
    FakeBrowserCalls calls;
    FakeServiceBrowser *browser = nullptr;
    FILE *trace = nullptr;
    QStringList lastEntries;
    int lastIndex = -2;
    int rebuilds = 0;
    QList<bool> fieldShown;
};

TEST_F(ServerDiscoveryTest, BrowsesForTheServersTypeAndStopsAtExit)
{
    start(QString(), false);
    ASSERT_EQ(calls.searches.size(), 1);
    EXPECT_EQ(calls.searches[0].first, QStringLiteral("_orvana_ws._tcp."));
    EXPECT_EQ(calls.searches[0].second, QStringLiteral("local."));
    delegate->stopBrowsing();
    EXPECT_EQ(calls.stops, 1);
    EXPECT_FALSE(delegate->discovery().isBrowsing());
}

TEST_F(ServerDiscoveryTest, AServerIsListedOnlyOnceResolvedAndItsAddressesAreTraced)
{
    start(QString(), false);
    browser->find(QStringLiteral("Kitchen"));
    browser->find(QStringLiteral("Living Room"));
    ASSERT_EQ(calls.resolves.size(), 2);
    EXPECT_EQ(calls.resolves[0], qMakePair(QStringLiteral("Kitchen"), 10000));
    EXPECT_EQ(calls.resolves[1], qMakePair(QStringLiteral("Living Room"), 10000));
    EXPECT_EQ(rebuilds, 0) << "finding a service does not change the choice";
    EXPECT_EQ(delegate->svcBrowserList().size(), 2);

    browser->resolveTo(QStringLiteral("Living Room"), {FakeServiceBrowser::ipv4(QStringLiteral("10.0.0.5"), 8731)});
    EXPECT_THAT(lastEntries, ElementsAre(entry0, QStringLiteral("Living Room")));
    EXPECT_EQ(lastIndex, 0);
    EXPECT_EQ(traced(), QStringLiteral("IP Address = 10.0.0.5\nPort Number = 8731\n"));
    const OVServiceInfo &server = delegate->svcBrowserList()[QStringLiteral("Living Room")];
    EXPECT_THAT(server.ipAddresses(), ElementsAre(QStringLiteral("10.0.0.5")));
    EXPECT_THAT(server.ports(), ElementsAre(QStringLiteral("8731")));

    // A failed resolution reports nothing and lists nothing.
    const int before = rebuilds;
    const QString log = delegate->syncPage().logText();
    browser->failToResolve(QStringLiteral("Kitchen"));
    EXPECT_EQ(rebuilds, before);
    EXPECT_EQ(delegate->syncPage().logText(), log);
    EXPECT_TRUE(delegate->svcBrowserList().contains(QStringLiteral("Kitchen")));
}

TEST_F(ServerDiscoveryTest, TheStoredServerIsPreselectedIgnoringCaseAndTheRunUsesItsFirstAddress)
{
    start(QStringLiteral("living room"), false);
    announce(QStringLiteral("Kitchen"), {FakeServiceBrowser::ipv4(QStringLiteral("10.0.0.9"), 8731)});
    // Not the stored server: the choice falls back to the address for now.
    EXPECT_EQ(lastIndex, 0);
    EXPECT_TRUE(delegate->selectByIPAddress());
    EXPECT_EQ(delegate->serverAddress(), QStringLiteral("192.168.1.20"));

    announce(QStringLiteral("Living Room"), {FakeServiceBrowser::ipv4(QStringLiteral("10.0.0.5"), 8731),
                                             FakeServiceBrowser::ipv4(QStringLiteral("10.0.0.6"), 8731)});
    ASSERT_THAT(lastEntries, ElementsAre(entry0, QStringLiteral("Kitchen"), QStringLiteral("Living Room")));
    EXPECT_EQ(lastIndex, 2) << "the stored server resolving later is still preselected";
    EXPECT_FALSE(delegate->selectByIPAddress());
    EXPECT_THAT(fieldShown, ElementsAre(true, false));
    EXPECT_EQ(delegate->serverAddress(), QStringLiteral("10.0.0.5"));
    EXPECT_FALSE(delegate->discovery().selectByIPAddressToSave());
}

TEST_F(ServerDiscoveryTest, WithTheAddressChosenRebuildsKeepEntryZero)
{
    start(QStringLiteral("Living Room"), true);
    announce(QStringLiteral("Living Room"), {FakeServiceBrowser::ipv4(QStringLiteral("10.0.0.5"), 8731)});
    EXPECT_THAT(lastEntries, ElementsAre(entry0, QStringLiteral("Living Room")));
    EXPECT_EQ(lastIndex, 0);
    EXPECT_TRUE(delegate->selectByIPAddress());
    EXPECT_EQ(delegate->serverAddress(), QStringLiteral("192.168.1.20"));

    // The user picks the server, then entry 0 again.
    delegate->comboBoxSelectionDidChange(1, QStringLiteral("Living Room"));
    EXPECT_FALSE(delegate->selectByIPAddress());
    EXPECT_EQ(delegate->serverAddress(), QStringLiteral("10.0.0.5"));
    delegate->comboBoxSelectionDidChange(0, entry0);
    EXPECT_TRUE(delegate->selectByIPAddress());
    announce(QStringLiteral("Kitchen"), {FakeServiceBrowser::ipv4(QStringLiteral("10.0.0.9"), 8731)});
    EXPECT_EQ(lastIndex, 0);
    EXPECT_TRUE(delegate->discovery().selectByIPAddressToSave());
}

TEST_F(ServerDiscoveryTest, AServerPickedByTheUserStaysSelectedThroughLaterRebuilds)
{
    start(QStringLiteral("Living Room"), false);
    announce(QStringLiteral("Living Room"), {FakeServiceBrowser::ipv4(QStringLiteral("10.0.0.5"), 8731)});
    announce(QStringLiteral("Kitchen"), {FakeServiceBrowser::ipv4(QStringLiteral("10.0.0.9"), 8731)});
    ASSERT_THAT(lastEntries, ElementsAre(entry0, QStringLiteral("Kitchen"), QStringLiteral("Living Room")));
    EXPECT_EQ(lastIndex, 2);
    delegate->comboBoxSelectionDidChange(1, QStringLiteral("Kitchen"));
    announce(QStringLiteral("Attic"), {FakeServiceBrowser::ipv4(QStringLiteral("10.0.0.3"), 8731)});
    ASSERT_THAT(lastEntries, ElementsAre(entry0, QStringLiteral("Attic"), QStringLiteral("Kitchen"),
                                         QStringLiteral("Living Room")));
    EXPECT_EQ(lastIndex, 2);
    EXPECT_EQ(delegate->serverAddress(), QStringLiteral("10.0.0.9"));
}

TEST_F(ServerDiscoveryTest, RemovingTheOnlyServerLeavesEntryZeroSelected)
{
    start(QStringLiteral("Living Room"), false);
    announce(QStringLiteral("Living Room"), {FakeServiceBrowser::ipv4(QStringLiteral("10.0.0.5"), 8731)});
    ASSERT_EQ(lastIndex, 1);
    browser->remove(QStringLiteral("Living Room"));
    EXPECT_THAT(lastEntries, ElementsAre(entry0));
    EXPECT_EQ(lastIndex, 0);
    EXPECT_TRUE(delegate->selectByIPAddress());
    EXPECT_TRUE(delegate->svcBrowserList().isEmpty());
    EXPECT_EQ(delegate->serverAddress(), QStringLiteral("192.168.1.20"));

    // Removing what is not listed changes nothing.
    const int before = rebuilds;
    browser->remove(QStringLiteral("Living Room"));
    EXPECT_EQ(rebuilds, before);
}

TEST_F(ServerDiscoveryTest, TheSameNameAgainIsNeitherResolvedAgainNorListedTwice)
{
    start(QString(), false);
    announce(QStringLiteral("Living Room"), {FakeServiceBrowser::ipv4(QStringLiteral("10.0.0.5"), 8731)});
    browser->find(QStringLiteral("Living Room"));
    EXPECT_EQ(calls.resolves.size(), 1);
    EXPECT_THAT(lastEntries, ElementsAre(entry0, QStringLiteral("Living Room")));
    EXPECT_THAT(delegate->svcBrowserList()[QStringLiteral("Living Room")].ipAddresses(),
                ElementsAre(QStringLiteral("10.0.0.5")));
}

TEST_F(ServerDiscoveryTest, AddressesAreAppendedInOrderAndOnlyIPv4IsKept)
{
    start(QStringLiteral("Living Room"), false);
    browser->find(QStringLiteral("Living Room"));
    const QByteArray truncated = FakeServiceBrowser::ipv4(QStringLiteral("10.0.0.1"), 80).left(6);
    browser->resolveTo(QStringLiteral("Living Room"), {FakeServiceBrowser::ipv6(QStringLiteral("::1"), 8731), truncated,
                                                       FakeServiceBrowser::ipv4(QStringLiteral("10.0.0.5"), 8731),
                                                       FakeServiceBrowser::ipv4(QStringLiteral("10.0.0.5"), 8731)});
    browser->resolveTo(QStringLiteral("Living Room"), {FakeServiceBrowser::ipv4(QStringLiteral("10.0.0.7"), 9000)});
    const OVServiceInfo &server = delegate->svcBrowserList()[QStringLiteral("Living Room")];
    EXPECT_THAT(server.ipAddresses(),
                ElementsAre(QStringLiteral("10.0.0.5"), QStringLiteral("10.0.0.5"), QStringLiteral("10.0.0.7")));
    EXPECT_THAT(server.ports(), ElementsAre(QStringLiteral("8731"), QStringLiteral("8731"), QStringLiteral("9000")));
    EXPECT_EQ(delegate->serverAddress(), QStringLiteral("10.0.0.5"));
    EXPECT_EQ(traced().count(QStringLiteral("IP Address = ")), 3);

    // A server with only IPv6 addresses is never offered.
    announce(QStringLiteral("Kitchen"), {FakeServiceBrowser::ipv6(QStringLiteral("fe80::1"), 8731)});
    EXPECT_THAT(lastEntries, ElementsAre(entry0, QStringLiteral("Living Room")));
    // Addresses for a service that was never found are ignored.
    browser->resolveTo(QStringLiteral("Attic"), {FakeServiceBrowser::ipv4(QStringLiteral("10.0.0.3"), 8731)});
    EXPECT_FALSE(delegate->svcBrowserList().contains(QStringLiteral("Attic")));
}

TEST_F(ServerDiscoveryTest, SeveralNamesMatchingTheStoredOneSelectTheLast)
{
    start(QStringLiteral("living room"), false);
    announce(QStringLiteral("Living Room"), {FakeServiceBrowser::ipv4(QStringLiteral("10.0.0.5"), 8731)});
    announce(QStringLiteral("LIVING ROOM"), {FakeServiceBrowser::ipv4(QStringLiteral("10.0.0.6"), 8731)});
    ASSERT_EQ(lastEntries.size(), 3);
    EXPECT_EQ(lastIndex, 2);
    EXPECT_EQ(delegate->serverAddress(), delegate->svcBrowserList()[lastEntries[2]].ipAddresses().first());
    EXPECT_EQ(delegate->discovery().matchingServerName(QStringLiteral("living ROOM")), lastEntries[2]);
}

TEST_F(ServerDiscoveryTest, DiscoveryNotAvailableIsOneLogLineAndTheAddressStillServes)
{
    start(QStringLiteral("Living Room"), false);
    browser->reportUnavailable(QStringLiteral("the Avahi daemon is not running"));
    const QString log = delegate->syncPage().logText();
    EXPECT_EQ(log.count(QLatin1Char('\n')), 1);
    EXPECT_THAT(log.toStdString(), HasSubstr("12:00:00: Server discovery is not available (the Avahi daemon is not running)"));
    EXPECT_EQ(delegate->discovery().unavailableReason(), QStringLiteral("the Avahi daemon is not running"));
    delegate->comboBoxSelectionDidChange(0, entry0);
    EXPECT_EQ(delegate->serverAddress(), QStringLiteral("192.168.1.20"));
}

TEST_F(ServerDiscoveryTest, DiscoverySettlesOnceEveryServiceFoundHasResolvedOrFailed)
{
    start(QString(), false);
    int settledSignals = 0;
    QObject::connect(&delegate->discovery(), &ServerDiscovery::discoverySettled, [&] { ++settledSignals; });
    browser->find(QStringLiteral("Kitchen"));
    browser->find(QStringLiteral("Living Room"));
    browser->reportAllForNow();
    EXPECT_FALSE(delegate->discovery().settled());
    browser->failToResolve(QStringLiteral("Kitchen"));
    EXPECT_FALSE(delegate->discovery().settled());
    browser->resolveTo(QStringLiteral("Living Room"), {FakeServiceBrowser::ipv4(QStringLiteral("10.0.0.5"), 8731)});
    EXPECT_TRUE(delegate->discovery().settled());
    EXPECT_EQ(settledSignals, 1);
}

} // namespace

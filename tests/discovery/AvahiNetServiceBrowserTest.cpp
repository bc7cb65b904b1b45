#include "discovery/AvahiNetServiceBrowser.h"
#include "discovery/AvahiNetServicePublisher.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::HasSubstr;

namespace {

template <typename Done>
bool spinUntil(Done done, int limitMs = 10000)
{
    QDeadlineTimer limit(limitMs);
    while (!done() && !limit.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    return done();
}

void spinFor(int milliseconds)
{
    QDeadlineTimer limit(milliseconds);
    while (!limit.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

// Points the client library at a bus socket of the test's own folder, where
// nothing listens unless the test starts a bus there: the machine's real
// system bus is never used.
class PrivateBusTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        busSocket = folder.filePath(QStringLiteral("system_bus_socket"));
        savedAddress = qgetenv("DBUS_SYSTEM_BUS_ADDRESS");
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + QFile::encodeName(busSocket));
    }
    void TearDown() override
    {
        stopBus();
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", savedAddress);
    }

    // A message bus on that socket, with no Avahi daemon on it.
    bool startBus()
    {
        const QString program = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (program.isEmpty())
            return false;
        QFile config(folder.filePath(QStringLiteral("bus.conf")));
        if (!config.open(QIODevice::WriteOnly))
            return false;
        config.write("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                     " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                     "<busconfig><type>system</type><listen>unix:path=" +
                     QFile::encodeName(busSocket) +
                     "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                     "<allow user=\"*\"/><allow own=\"*\"/><allow send_destination=\"*\"/>"
                     "<allow receive_sender=\"*\"/></policy></busconfig>\n");
        config.close();
        bus.start(program, {QStringLiteral("--nofork"), QStringLiteral("--config-file=") + config.fileName()});
        return bus.waitForStarted() && spinUntil([this] { return QFileInfo::exists(busSocket); });
    }
    void stopBus()
    {
        if (bus.state() == QProcess::NotRunning)
            return;
        bus.terminate();
        if (!bus.waitForFinished(5000)) {
            bus.kill();
            bus.waitForFinished();
        }
    }

    QTemporaryDir folder;
    QString busSocket;
    QByteArray savedAddress;
    QProcess bus;
};

using AvahiNetServiceBrowserTest = PrivateBusTest;

TEST_F(AvahiNetServiceBrowserTest, WithoutASystemBusBrowsingReportsUnavailableOnceAndResolvesNothing)
{
    AvahiNetServiceBrowser browser;
    QStringList reasons;
    QStringList failures;
    int found = 0;
    QObject::connect(&browser, &ServiceBrowser::unavailable, [&](const QString &reason) { reasons.append(reason); });
    QObject::connect(&browser, &ServiceBrowser::resolveFailed, [&](const QString &name) { failures.append(name); });
    QObject::connect(&browser, &ServiceBrowser::serviceFound, [&] { ++found; });

    browser.searchForServices(QStringLiteral("_orvana_ws._tcp."), QStringLiteral("local."));
    ASSERT_TRUE(spinUntil([&] { return !reasons.isEmpty(); }, 2000)) << "no hang while the bus is absent";
    EXPECT_THAT(reasons.first().toStdString(), HasSubstr("system bus"));

    browser.resolve(QStringLiteral("Living Room"), 100);
    ASSERT_TRUE(spinUntil([&] { return !failures.isEmpty(); }));
    EXPECT_EQ(failures, QStringList{QStringLiteral("Living Room")});
    // The retries while the bus stays away say nothing more.
    spinFor(200);
    EXPECT_EQ(reasons.size(), 1);
    EXPECT_EQ(found, 0);
    browser.stop();
}

TEST_F(AvahiNetServiceBrowserTest, ABusWithoutTheDaemonIsUnavailableAndLosingTheBusDoesNotBreakTheBrowser)
{
    if (!startBus())
        GTEST_SKIP() << "dbus-daemon is not installed or did not start";
    AvahiNetServiceBrowser browser;
    QStringList reasons;
    QObject::connect(&browser, &ServiceBrowser::unavailable, [&](const QString &reason) { reasons.append(reason); });
    browser.searchForServices(QStringLiteral("_orvana_ws._tcp."), QStringLiteral("local."));
    ASSERT_TRUE(spinUntil([&] { return !reasons.isEmpty(); }, 5000));
    EXPECT_THAT(reasons.first().toStdString(), HasSubstr("not running"));

    // The bus goes away under the waiting client: no crash, and the browser
    // can still be stopped and started again.
    stopBus();
    spinFor(300);
    browser.stop();
    reasons.clear();
    browser.searchForServices(QStringLiteral("_orvana_ws._tcp."), QStringLiteral("local."));
    ASSERT_TRUE(spinUntil([&] { return !reasons.isEmpty(); }, 2000));
    EXPECT_THAT(reasons.first().toStdString(), HasSubstr("system bus"));
}

using AvahiNetServicePublisherTest = PrivateBusTest;

TEST_F(AvahiNetServicePublisherTest, PublishingWithoutTheDaemonFailsWithAReason)
{
    AvahiNetServicePublisher publisher;
    QStringList failures;
    QObject::connect(&publisher, &AvahiNetServicePublisher::failed, [&](const QString &reason) { failures.append(reason); });
    publisher.publish(QStringLiteral("Living Room"), QStringLiteral("_orvana_ws._tcp."), 8731, QStringLiteral("no-such-if0"));
    ASSERT_EQ(failures.size(), 1);
    EXPECT_THAT(failures.first().toStdString(), HasSubstr("no-such-if0"));

    publisher.publish(QStringLiteral("Living Room"), QStringLiteral("_orvana_ws._tcp."), 8731, QString());
    ASSERT_TRUE(spinUntil([&] { return failures.size() == 2; }, 2000));
    EXPECT_THAT(failures.last().toStdString(), HasSubstr("system bus"));
    publisher.withdraw();
}

} // namespace

#include "cli/SyncPreflight.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// A machine where everything a mount needs is there; each case takes one
// thing away.
struct FakeMachine {
    bool mounted = false;
    bool mountCifs = true;
    bool sessionBus = true;
    bool root = false;
    bool resolves = true;

    SyncPreflight::Machine machine() const
    {
        SyncPreflight::Machine machine;
        machine.volumeMounted = [this](const QString &) { return mounted; };
        machine.mountCifsInstalled = [this] { return mountCifs; };
        machine.sessionBusAvailable = [this] { return sessionBus; };
        machine.runningAsRoot = [this] { return root; };
        machine.hostResolves = [this](const QString &) { return resolves; };
        return machine;
    }
};

SyncPreflight::Inputs inputs(const QString &server, const QString &method = QStringLiteral("auto"),
                             const QString &shareFolder = {})
{
    return {QStringLiteral("/home/a/.config/OrvanaSync/OrvanaSync.conf"), method, shareFolder, server};
}

TEST(SyncPreflightTest, EachCauseGetsItsMessageItsFixAndItsStatus)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    struct Case {
        const char *name;
        SyncPreflight::Inputs inputs;
        FakeMachine machine;
        const char *expected; // the start of the message
        const char *fix;      // what it tells to do
        int status;
    };
    FakeMachine noCifs;
    noCifs.mountCifs = false;
    FakeMachine noBus;
    noBus.sessionBus = false;
    FakeMachine rootWithoutCifsOrBus;
    rootWithoutCifsOrBus.root = true;
    rootWithoutCifsOrBus.mountCifs = false;
    rootWithoutCifsOrBus.sessionBus = false;
    FakeMachine unresolved;
    unresolved.resolves = false;
    const QString missingFolder = folder.filePath(QStringLiteral("not-mounted"));
    const QList<Case> cases = {
        {"unknown method", inputs(QStringLiteral("nas"), QStringLiteral("nfs")), {},
         "unknown MountMethod \"nfs\" in /home/a/.config/OrvanaSync/OrvanaSync.conf", "config set MountMethod auto", 2},
        {"no share folder", inputs(QStringLiteral("nas"), QStringLiteral("auto"), missingFolder), {},
         "the share folder", "leave out --share-folder", 2},
        {"no server", inputs(QString()), {}, "no server given or stored", "--server ADDRESS", 2},
        {"blank server", inputs(QStringLiteral("  ")), {}, "no server given or stored", "MusicServerIPAddress", 2},
        {"cifs missing", inputs(QStringLiteral("nas"), QStringLiteral("cifs")), noCifs,
         "MountMethod is cifs but mount.cifs is not installed", "install cifs-utils", 2},
        {"no session bus", inputs(QStringLiteral("nas"), QStringLiteral("gvfs")), noBus,
         "mounting the share through GVfs needs a D-Bus session bus", "dbus-run-session", 2},
        {"root, auto, no cifs: GVfs", inputs(QStringLiteral("nas")), rootWithoutCifsOrBus,
         "mounting the share through GVfs", "cifs-utils", 2},
        {"host does not resolve", inputs(QStringLiteral("nas.lan")), unresolved,
         "the server name nas.lan does not resolve", "IPv4 address", 1},
    };
    for (const Case &test : cases) {
        const std::optional<SyncPreflight::Problem> problem = SyncPreflight::check(test.inputs, test.machine.machine());
        ASSERT_TRUE(problem.has_value()) << test.name;
        EXPECT_TRUE(problem->message.startsWith(QString::fromUtf8(test.expected)))
            << test.name << ": " << problem->message.toStdString();
        EXPECT_TRUE(problem->message.contains(QString::fromUtf8(test.fix)))
            << test.name << ": " << problem->message.toStdString();
        EXPECT_FALSE(problem->message.contains(QLatin1Char('\n'))) << test.name;
        EXPECT_EQ(problem->exitStatus, test.status) << test.name;
    }
}

TEST(SyncPreflightTest, WhatCanWorkPasses)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    FakeMachine nothing;
    nothing.mountCifs = false;
    nothing.sessionBus = false;
    nothing.resolves = false;
    // A share folder needs no mount, no server and no resolving.
    EXPECT_FALSE(SyncPreflight::check(inputs(QString(), QStringLiteral("cifs"), folder.path()), nothing.machine()));
    // An already mounted share needs no way of mounting.
    FakeMachine mounted = nothing;
    mounted.mounted = true;
    mounted.resolves = true;
    EXPECT_FALSE(SyncPreflight::check(inputs(QStringLiteral("nas"), QStringLiteral("gvfs")), mounted.machine()));
    // Root with mount.cifs and no bus: auto mounts by CIFS.
    FakeMachine root;
    root.root = true;
    root.sessionBus = false;
    EXPECT_FALSE(SyncPreflight::check(inputs(QStringLiteral("nas")), root.machine()));
    // Letter case of the method is free; an address with a port names no host to resolve.
    FakeMachine unresolved;
    unresolved.resolves = false;
    EXPECT_FALSE(SyncPreflight::check(inputs(QStringLiteral("127.0.0.1:4450"), QStringLiteral("GVFS")),
                                      unresolved.machine()));
    EXPECT_EQ(SyncPreflight::hostOf(QStringLiteral(" nas.lan ")), QStringLiteral("nas.lan"));
    EXPECT_TRUE(SyncPreflight::hostOf(QStringLiteral("nas:445")).isNull());
}

} // namespace

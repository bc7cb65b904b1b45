#include "cli/CliProgram.h"

#include "app/RefreshService.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>

namespace {

// A resolver that knows no name: no proxy is ever made.
class NothingResolves : public RefreshServiceFactory {
public:
    QStringList asked;
    QString getIPAddressForHost(const QString &host) override
    {
        asked.append(host);
        return {};
    }
    std::unique_ptr<RefreshService> createService(const QString &) override { return nullptr; }
};

QString readAll(FILE *file)
{
    std::fflush(file);
    std::rewind(file);
    QByteArray bytes;
    char buffer[4096];
    size_t count;
    while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.append(buffer, qsizetype(count));
    return QString::fromUtf8(bytes);
}

TEST(CliProgramTest, AServerNameThatDoesNotResolveFailsTheRunAfterTheCopyWithStatusOne)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString share = folder.filePath(QStringLiteral("share"));
    const QString music = folder.filePath(QStringLiteral("music"));
    QDir().mkpath(share);
    QDir().mkpath(music);
    const auto run = [&](const QStringList &extra, QString *err) {
        FILE *out = std::tmpfile();
        FILE *errors = std::tmpfile();
        CliProgram program(out, errors);
        auto resolver = std::make_shared<NothingResolves>();
        program.setRefreshServiceFactory(resolver);
        const int status = program.run(CliOptions::parse(
            QStringList{QStringLiteral("sync"), QStringLiteral("--settings"), folder.filePath(QStringLiteral("s.conf")),
                        QStringLiteral("--source"), music, QStringLiteral("--share-folder"), share,
                        QStringLiteral("--server"), QStringLiteral("nas.lan"), QStringLiteral("--library-id"),
                        QStringLiteral("ID"), QStringLiteral("--entire-library")} +
            extra));
        *err = readAll(errors);
        std::fclose(out);
        std::fclose(errors);
        return status;
    };
    QString err;
    EXPECT_EQ(run({}, &err), 1) << err.toStdString();
    EXPECT_EQ(err, QStringLiteral("orvanasync-cli: the server name nas.lan does not resolve: check its spelling and "
                                  "the network, or give the server's IPv4 address with --server ADDRESS; no refresh "
                                  "was sent\n"));
    EXPECT_TRUE(QFile::exists(share + QStringLiteral("/Library/ID.xml"))) << "the share was still written";

    // A dry run sends no refresh anyway: nothing to complain about.
    EXPECT_EQ(run({QStringLiteral("--dry-run")}, &err), 0) << err.toStdString();
    EXPECT_EQ(err, QString());
}

} // namespace

#include "cli/CliProgram.h"

#include "app/RefreshService.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

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

// A server whose every refresh ends with the fault text given.
class FaultingService : public RefreshService {
public:
    explicit FaultingService(QString fault) : m_fault(std::move(fault)) {}
    void RefreshMediaCollectionByMediaType(QObject *context, AnswerHandler onAnswer, qint32) override
    {
        QTimer::singleShot(0, context, [onAnswer, fault = m_fault] { onAnswer(QVariant(fault)); });
    }
    QString failureDescription(const QVariant &value) const override { return value.toString(); }

private:
    QString m_fault;
};

class FaultingServer : public RefreshServiceFactory {
public:
    explicit FaultingServer(QString fault) : m_fault(std::move(fault)) {}
    QString getIPAddressForHost(const QString &host) override { return host; }
    std::unique_ptr<RefreshService> createService(const QString &) override
    {
        return std::make_unique<FaultingService>(m_fault);
    }

private:
    QString m_fault;
};

// Where text meant for a terminal holds a control character other than the
// line feeds ending its lines: the offset, or -1.
qsizetype firstControlCharacter(const QString &text)
{
    for (qsizetype index = 0; index < text.size(); ++index) {
        const char16_t unit = text.at(index).unicode();
        if ((unit < 0x20 && unit != u'\n') || (unit >= 0x7f && unit <= 0x9f))
            return index;
    }
    return -1;
}

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

TEST(CliProgramTest, ControlCharactersFromTheLibraryAndTheServerReachTheTerminalEscaped)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString share = folder.filePath(QStringLiteral("share"));
    QDir().mkpath(share);
    QFile song(folder.filePath(QStringLiteral("song.mp3")));
    ASSERT_TRUE(song.open(QIODevice::WriteOnly));
    song.write(QByteArray(4096, 'a'));
    song.close();
    const QByteArray folderUrl = QUrl::fromLocalFile(folder.path()).toEncoded();
    // XML carries no ESC or BEL: the title has CR, LF, DEL and C1 (the
    // 8-bit CSI), the location ESC and BEL percent-encoded.
    const QByteArray track = "<key>%1</key><dict><key>Track ID</key><integer>%1</integer>"
                             "<key>Persistent ID</key><string>00000000000000A%1</string>"
                             "<key>Name</key><string>%2</string><key>Artist</key><string>Ann</string>"
                             "<key>Album</key><string>First</string><key>Size</key><integer>4096</integer>"
                             "<key>Location</key><string>%3</string></dict>";
    QByteArray tracks = QString::fromUtf8(track).arg(1).arg(QStringLiteral("Over&#13;&#10;write&#x7f;\u009b2J"),
                                                          QString::fromUtf8(folderUrl + "/song.mp3")).toUtf8();
    tracks += QString::fromUtf8(track).arg(2).arg(QStringLiteral("Gone"),
                                                  QString::fromUtf8(folderUrl + "/%1B%5B31m%07gone.mp3")).toUtf8();
    QFile exportFile(folder.filePath(QStringLiteral("Library.xml")));
    ASSERT_TRUE(exportFile.open(QIODevice::WriteOnly));
    exportFile.write("<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict><key>Tracks</key><dict>" +
                     tracks + "</dict><key>Playlists</key><array></array></dict></plist>");
    exportFile.close();

    FILE *out = std::tmpfile();
    FILE *errors = std::tmpfile();
    CliProgram program(out, errors);
    program.setRefreshServiceFactory(std::make_shared<FaultingServer>(
        QStringLiteral("Server\x1b]0;owned\a fault\r\nError: forged line\u009b31m")));
    const int status = program.run(CliOptions::parse(
        {QStringLiteral("sync"), QStringLiteral("--settings"), folder.filePath(QStringLiteral("s.conf")),
         QStringLiteral("--source"), exportFile.fileName(), QStringLiteral("--share-folder"), share,
         QStringLiteral("--server"), QStringLiteral("127.0.0.1"), QStringLiteral("--library-id"), QStringLiteral("ID"),
         QStringLiteral("--entire-library"), QStringLiteral("-v")}));
    const QString output = readAll(out);
    const QString err = readAll(errors);
    std::fclose(out);
    std::fclose(errors);
    EXPECT_EQ(status, 1) << err.toStdString();
    EXPECT_EQ(firstControlCharacter(output), -1) << output.toStdString();
    EXPECT_EQ(firstControlCharacter(err), -1) << err.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("Song: Over\\r\\nwrite\\x7f\\u009b2J, Album: First"))) << output.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("/\\e[31m\\agone.mp3"))) << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("(Server\\e]0;owned\\a fault Error: forged line\\u009b31m)")))
        << err.toStdString();
    // The forged "Error:" stays inside its own line.
    for (const QString &line : err.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        EXPECT_FALSE(line.startsWith(QStringLiteral("Error: forged"))) << line.toStdString();
    // The library file keeps the title as it was.
    QFile libraryFile(share + QStringLiteral("/Library/ID.xml"));
    ASSERT_TRUE(libraryFile.open(QIODevice::ReadOnly));
    EXPECT_TRUE(QString::fromUtf8(libraryFile.readAll()).contains(QStringLiteral("\u009b2J")));
}

} // namespace

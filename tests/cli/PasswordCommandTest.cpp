#include "cli/PasswordCommand.h"

#include "app/SettingsStore.h"
#include "cli/CliOptions.h"
#include "cli/ConfigCommand.h"
#include "tests/secrets/FakePasswordKeyring.h"

#include <QFile>
#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

using ::testing::HasSubstr;
using State = FakePasswordKeyring::State;

QString textOf(FILE *file)
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

class PasswordCommandTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        SettingsStore settings(fileName());
        settings.setValue(SettingsStore::MusicServerNameKey, QStringLiteral("Living Room"));
        settings.setValue(SettingsStore::SelectByIPAddressKey, false);
        settings.setValue(SettingsStore::MusicServerUserNameKey, QStringLiteral("ann"));
    }
    void TearDown() override
    {
        for (FILE *file : {out, err})
            if (file)
                std::fclose(file);
    }
    // One program run: a fresh store over the file, `input` on standard input.
    int password(QStringList arguments, const QByteArray &input = {})
    {
        arguments.prepend(QStringLiteral("password"));
        const CliOptions options = CliOptions::parse(arguments);
        EXPECT_EQ(options.command(), CliOptions::Command::Password) << options.error().toStdString();
        SettingsStore settings(fileName());
        settings.registerDefaults(SettingsStore::builtInDefaults());
        reopenOutputs();
        FILE *in = std::tmpfile();
        std::fwrite(input.constData(), 1, size_t(input.size()), in);
        std::rewind(in);
        const int status = PasswordCommand(settings, keyring, out, err, in).run(options);
        std::fclose(in);
        return status;
    }
    void reopenOutputs()
    {
        for (FILE *file : {out, err})
            if (file)
                std::fclose(file);
        out = std::tmpfile();
        err = std::tmpfile();
    }
    QString fileName() const { return folder.filePath(QStringLiteral("OrvanaSync.conf")); }
    QByteArray fileBytes() const
    {
        QFile file(fileName());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir folder;
    std::shared_ptr<FakePasswordKeyring> keyring = std::make_shared<FakePasswordKeyring>();
    FILE *out = nullptr;
    FILE *err = nullptr;
};

TEST_F(PasswordCommandTest, SetKeepsThePasswordInTheKeyringForTheStoredOrTheGivenServerAndUser)
{
    EXPECT_EQ(password({QStringLiteral("set")}, "s3cret pw\n"), 0);
    EXPECT_EQ(keyring->items.value({QStringLiteral("Living Room"), QStringLiteral("ann")}), QStringLiteral("s3cret pw"));
    EXPECT_EQ(textOf(out).toStdString(), "The password of user ann on Living Room is stored in the keyring\n");
    EXPECT_EQ(textOf(err).toStdString(), "");
    EXPECT_FALSE(fileBytes().contains("s3cret"));

    EXPECT_EQ(password({QStringLiteral("set"), QStringLiteral("--server"), QStringLiteral("10.0.0.5"),
                        QStringLiteral("--user"), QStringLiteral("bob")},
                       "for bob"),
              0);
    EXPECT_EQ(keyring->items.value({QStringLiteral("10.0.0.5"), QStringLiteral("bob")}), QStringLiteral("for bob"))
        << "the last line needs no line end";
    EXPECT_EQ(password({QStringLiteral("set"), QStringLiteral("--server-name"), QStringLiteral("Kitchen")}, "k\r\n"), 0);
    EXPECT_EQ(keyring->items.value({QStringLiteral("Kitchen"), QStringLiteral("ann")}), QStringLiteral("k"));

    EXPECT_EQ(password({QStringLiteral("clear"), QStringLiteral("--server-name"), QStringLiteral("Kitchen")}), 0);
    EXPECT_FALSE(keyring->items.contains({QStringLiteral("Kitchen"), QStringLiteral("ann")}));
    EXPECT_EQ(keyring->items.size(), 2) << "the others stay";
}

// A password saved by a Windows editor: a byte order mark first, CR LF last.
TEST_F(PasswordCommandTest, APasswordLineLosesItsLineEndAndAnEditorsByteOrderMark)
{
    EXPECT_EQ(password({QStringLiteral("set")}, "\xEF\xBB\xBFs3cret pw\r\n"), 0);
    EXPECT_EQ(keyring->items.value({QStringLiteral("Living Room"), QStringLiteral("ann")}), QStringLiteral("s3cret pw"));
    // The same rule for a password file.
    EXPECT_EQ(PasswordCommand::secretOfLine("\xEF\xBB\xBF\xC3\xA9t\xC3\xA9\n"), QStringLiteral("\u00e9t\u00e9"));
    EXPECT_EQ(PasswordCommand::secretOfLine("mid\xEF\xBB\xBF" "dle"), QStringLiteral("mid\uFEFFdle"));
}

TEST_F(PasswordCommandTest, WithoutAKeyringTheSettingsFileKeepsItWithANotice)
{
    keyring->state = State::NoService;
    EXPECT_EQ(password({QStringLiteral("set")}, "s3cret pw\n"), 0);
    EXPECT_EQ(SettingsStore(fileName()).string(SettingsStore::MusicServerPasswordKey), QStringLiteral("s3cret pw"));
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(fileName()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(textOf(err), QStringLiteral("orvanasync-cli: notice: no Secret Service here (there is no D-Bus session "
                                          "bus): the password is kept in the settings file %1, readable by you alone\n")
                               .arg(fileName()));
    EXPECT_EQ(textOf(out).toStdString(), "The password of user ann on Living Room is stored in the settings file\n");

    EXPECT_EQ(password({QStringLiteral("clear")}), 0);
    EXPECT_FALSE(fileBytes().contains("s3cret"));
}

TEST_F(PasswordCommandTest, MistakesAreRefusedAndChangeNothing)
{
    EXPECT_EQ(password({QStringLiteral("set")}, ""), 2) << "nothing on standard input";
    EXPECT_THAT(textOf(err).toStdString(), HasSubstr("no password was given"));
    EXPECT_EQ(password({QStringLiteral("set")}, "\n"), 2) << "an empty line";
    EXPECT_EQ(password({QStringLiteral("set"), QStringLiteral("on-the-line")}, "x\n"), 2);
    EXPECT_THAT(textOf(err).toStdString(), HasSubstr("never given on the command line"));
    EXPECT_FALSE(textOf(err).contains(QStringLiteral("on-the-line")));
    EXPECT_EQ(password({}), 2);
    EXPECT_EQ(password({QStringLiteral("show")}), 2);
    EXPECT_THAT(textOf(err).toStdString(), HasSubstr("password needs set or clear"));
    EXPECT_TRUE(keyring->items.isEmpty());
    EXPECT_FALSE(fileBytes().contains("MusicServerPassword"));

    keyring->state = State::Failing;
    EXPECT_EQ(password({QStringLiteral("clear")}), 2);
    EXPECT_THAT(textOf(err).toStdString(), HasSubstr("the keyring did not remove the password (the collection is "
                                                     "locked)"));
}

TEST_F(PasswordCommandTest, ConfigSetOfThePasswordFollowsTheSameRulesWithAKeyring)
{
    SettingsStore settings(fileName());
    reopenOutputs();
    FILE *in = std::tmpfile();
    std::fputs("typed\n", in);
    std::rewind(in);
    ConfigCommand config(settings, out, err, in);
    config.setPasswordKeyring(keyring);
    EXPECT_EQ(config.run({QStringLiteral("set"), QStringLiteral("MusicServerPassword")}), 0);
    std::fclose(in);
    EXPECT_EQ(keyring->items.value({QStringLiteral("Living Room"), QStringLiteral("ann")}), QStringLiteral("typed"));
    EXPECT_FALSE(fileBytes().contains("typed"));
    EXPECT_EQ(config.run({QStringLiteral("unset"), QStringLiteral("MusicServerPassword")}), 0);
    EXPECT_TRUE(keyring->items.isEmpty());
}

// Reads what the terminal shows, waiting briefly for each chunk.
QByteArray drain(int master)
{
    QByteArray shown;
    pollfd ready{master, POLLIN, 0};
    char buffer[256];
    while (::poll(&ready, 1, 200) > 0) {
        const ssize_t count = ::read(master, buffer, sizeof buffer);
        if (count <= 0)
            break;
        shown.append(buffer, qsizetype(count));
    }
    return shown;
}

TEST(PasswordPromptTest, OnATerminalTheTypingIsNotShownAndTheTerminalIsRestored)
{
    int master = -1;
    int slave = -1;
    ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    FILE *terminal = ::fdopen(slave, "r+");
    ASSERT_NE(terminal, nullptr);
    FILE *err = std::tmpfile();
    struct termios before {};
    ASSERT_EQ(::tcgetattr(slave, &before), 0);
    ASSERT_TRUE(before.c_lflag & ECHO);

    // Typed before the prompt turns echo off would be shown and flushed: the
    // line goes in once the terminal is quiet, as a person types after the prompt.
    const pid_t typist = ::fork();
    ASSERT_GE(typist, 0);
    if (typist == 0) {
        for (int turn = 0; turn < 500; ++turn) {
            struct termios now {};
            if (::tcgetattr(master, &now) == 0 && !(now.c_lflag & ECHO))
                break;
            ::usleep(10000);
        }
        const char typed[] = "pty s3cret\n";
        [[maybe_unused]] const ssize_t written = ::write(master, typed, sizeof typed - 1);
        ::_exit(0);
    }
    const QString line = PasswordCommand::readSecretLine(terminal, err, QStringLiteral("Share password: "));
    int status = 0;
    ::waitpid(typist, &status, 0);
    EXPECT_EQ(line, QStringLiteral("pty s3cret"));
    EXPECT_EQ(textOf(err), QStringLiteral("Share password: "));
    const QByteArray shown = drain(master);
    EXPECT_FALSE(shown.contains("s3cret")) << shown.toStdString();
    struct termios after {};
    ASSERT_EQ(::tcgetattr(slave, &after), 0);
    EXPECT_EQ(after.c_lflag, before.c_lflag) << "echo is back on";
    std::fclose(err);
    std::fclose(terminal);
    ::close(master);
}

} // namespace

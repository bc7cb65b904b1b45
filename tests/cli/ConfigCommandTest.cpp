#include "cli/ConfigCommand.h"

#include "app/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>

namespace {

// Everything written to a FILE, read back.
class CapturedFile {
public:
    CapturedFile() : m_file(std::tmpfile()) {}
    ~CapturedFile() { std::fclose(m_file); }
    FILE *get() const { return m_file; }
    QString text() const
    {
        std::fflush(m_file);
        QByteArray bytes;
        std::rewind(m_file);
        char buffer[4096];
        size_t count;
        while ((count = std::fread(buffer, 1, sizeof buffer, m_file)) > 0)
            bytes.append(buffer, qsizetype(count));
        return QString::fromUtf8(bytes);
    }

private:
    FILE *m_file;
};

class ConfigCommandTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(folder.isValid()); }

    // Runs config with a fresh store over the file, as each program run does.
    int config(const QStringList &arguments, const QByteArray &input = {})
    {
        SettingsStore settings(fileName());
        settings.registerDefaults(SettingsStore::builtInDefaults());
        out = std::make_unique<CapturedFile>();
        err = std::make_unique<CapturedFile>();
        CapturedFile in;
        std::fwrite(input.constData(), 1, size_t(input.size()), in.get());
        std::rewind(in.get());
        return ConfigCommand(settings, out->get(), err->get(), in.get()).run(arguments);
    }
    QString fileName() const { return folder.filePath(QStringLiteral("OrvanaSync.conf")); }
    QByteArray fileBytes() const
    {
        QFile file(fileName());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir folder;
    std::unique_ptr<CapturedFile> out;
    std::unique_ptr<CapturedFile> err;
};

TEST_F(ConfigCommandTest, SetGetListAndUnsetGoThroughTheFile)
{
    EXPECT_EQ(config({QStringLiteral("set"), QStringLiteral("MusicServerIPAddress"), QStringLiteral("nas.local")}), 0);
    EXPECT_EQ(config({QStringLiteral("set"), QStringLiteral("SyncEntireLibrary"), QStringLiteral("no")}), 0);
    EXPECT_EQ(config({QStringLiteral("get"), QStringLiteral("MusicServerIPAddress")}), 0);
    EXPECT_EQ(out->text(), QStringLiteral("nas.local\n"));
    EXPECT_EQ(config({QStringLiteral("get"), QStringLiteral("SyncEntireLibrary")}), 0);
    EXPECT_EQ(out->text(), QStringLiteral("false\n"));

    EXPECT_EQ(config({QStringLiteral("list")}), 0);
    const QStringList lines = out->text().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    EXPECT_TRUE(lines.contains(QStringLiteral("MusicServerIPAddress=nas.local")));
    EXPECT_TRUE(lines.contains(QStringLiteral("SyncEntireLibrary=false")));
    EXPECT_TRUE(lines.contains(QStringLiteral("MountMethod=auto (default)")));
    EXPECT_EQ(err->text(), QString());

    EXPECT_EQ(config({QStringLiteral("unset"), QStringLiteral("MusicServerIPAddress")}), 0);
    EXPECT_EQ(config({QStringLiteral("get"), QStringLiteral("MusicServerIPAddress")}), 1) << "no value: status 1";
    EXPECT_EQ(out->text(), QString());
    EXPECT_FALSE(fileBytes().contains("nas.local"));
}

// A scheduled run starts in another folder than the one the path was typed in.
TEST_F(ConfigCommandTest, PathsAreStoredAsTheAbsolutePathsTheyNamedWhenSet)
{
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(folder.path()));
    EXPECT_EQ(config({QStringLiteral("set"), QStringLiteral("MusicSource"), QStringLiteral("Music/../Music/Library.xml")}), 0);
    EXPECT_EQ(config({QStringLiteral("set"), QStringLiteral("ShareFolder"), QStringLiteral("~/share")}), 0);
    EXPECT_EQ(config({QStringLiteral("set"), QStringLiteral("VolumesFolder"), QStringLiteral("/media/music/")}), 0);
    EXPECT_EQ(config({QStringLiteral("set"), QStringLiteral("MusicServerUserName"), QStringLiteral("ann/x")}), 0);
    ASSERT_TRUE(QDir::setCurrent(before));
    EXPECT_EQ(config({QStringLiteral("get"), QStringLiteral("MusicSource")}), 0);
    EXPECT_EQ(out->text(), folder.filePath(QStringLiteral("Music/Library.xml")) + u'\n');
    EXPECT_EQ(config({QStringLiteral("get"), QStringLiteral("ShareFolder")}), 0);
    EXPECT_EQ(out->text(), QDir::homePath() + QStringLiteral("/share\n"));
    EXPECT_EQ(config({QStringLiteral("get"), QStringLiteral("VolumesFolder")}), 0);
    EXPECT_EQ(out->text(), QStringLiteral("/media/music\n"));
    EXPECT_EQ(config({QStringLiteral("get"), QStringLiteral("MusicServerUserName")}), 0);
    EXPECT_EQ(out->text(), QStringLiteral("ann/x\n"));
}

TEST_F(ConfigCommandTest, BadKeysValuesAndFormsAreRefusedAndWriteNothing)
{
    const auto refused = [&](const QStringList &arguments) {
        const int status = config(arguments);
        const QString error = err->text();
        EXPECT_EQ(status, 2) << arguments.join(u' ').toStdString();
        EXPECT_TRUE(error.startsWith(QStringLiteral("orvanasync-cli: "))) << error.toStdString();
        EXPECT_EQ(error.count(QLatin1Char('\n')), 1) << error.toStdString();
        return error;
    };
    EXPECT_TRUE(refused({QStringLiteral("set"), QStringLiteral("MountMethod"), QStringLiteral("nfs")})
                    .contains(QStringLiteral("auto, gvfs or cifs")));
    EXPECT_TRUE(refused({QStringLiteral("set"), QStringLiteral("SyncEntireLibrary"), QStringLiteral("maybe")})
                    .contains(QStringLiteral("true or false")));
    EXPECT_TRUE(refused({QStringLiteral("get"), QStringLiteral("MusicServer")}).contains(QStringLiteral("unknown key")));
    refused({QStringLiteral("set"), QStringLiteral("Nonsense"), QStringLiteral("1")});
    refused({QStringLiteral("set"), QStringLiteral("MusicSource")});
    refused({QStringLiteral("set"), QStringLiteral("SelectedPlaylists"), QStringLiteral("P1")});
    refused({QStringLiteral("get")});
    refused({QStringLiteral("list"), QStringLiteral("extra")});
    refused({QStringLiteral("remove"), QStringLiteral("MountMethod")});
    refused({});
    EXPECT_FALSE(QFile::exists(fileName()));
}

TEST_F(ConfigCommandTest, ThePasswordComesFromStandardInputAndIsNeverShown)
{
    EXPECT_EQ(config({QStringLiteral("set"), QStringLiteral("MusicServerPassword"), QStringLiteral("on-the-line")}), 2);
    EXPECT_FALSE(err->text().contains(QStringLiteral("on-the-line")));
    EXPECT_FALSE(QFile::exists(fileName()));

    EXPECT_EQ(config({QStringLiteral("set"), QStringLiteral("MusicServerPassword")}, "s3cret pw\n"), 0);
    EXPECT_EQ(config({QStringLiteral("get"), QStringLiteral("MusicServerPassword")}), 0);
    EXPECT_EQ(out->text(), QStringLiteral("(set)\n"));
    EXPECT_EQ(config({QStringLiteral("list")}), 0);
    EXPECT_FALSE(out->text().contains(QStringLiteral("s3cret")));
    EXPECT_TRUE(out->text().contains(QStringLiteral("MusicServerPassword=(set)")));
    SettingsStore settings(fileName());
    EXPECT_EQ(settings.string(SettingsStore::MusicServerPasswordKey), QStringLiteral("s3cret pw"));
    EXPECT_EQ(QFile::permissions(fileName()) & (QFileDevice::ReadGroup | QFileDevice::ReadOther), 0);
}

TEST_F(ConfigCommandTest, ASettingsFileOthersCanReadIsWarnedAbout)
{
    QFile file(fileName());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[General]\nMusicServerPassword=pw\n");
    file.close();
    ASSERT_TRUE(file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther));
    EXPECT_EQ(config({QStringLiteral("get"), QStringLiteral("MountMethod")}), 0);
    EXPECT_EQ(err->text(), QStringLiteral("orvanasync-cli: warning: the settings file %1 can be read by other users: "
                                          "chmod 600 %1\n")
                               .arg(fileName()));
    EXPECT_EQ(out->text(), QStringLiteral("auto\n"));
    EXPECT_TRUE(ConfigCommand::readableByOthersWarning(folder.filePath(QStringLiteral("none")), QStringLiteral("x"))
                    .isNull());
}

} // namespace

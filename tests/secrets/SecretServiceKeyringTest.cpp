#include "secrets/SecretServiceKeyring.h"

#include "tests/support/TestKeyringDaemon.h"

#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

using Outcome = PasswordKeyring::Outcome;

// Sets environment variables of this process for one test; restores them.
class ScopedEnvironment {
public:
    ~ScopedEnvironment()
    {
        for (auto it = m_saved.begin(); it != m_saved.end(); ++it) {
            if (it.value())
                qputenv(it.key().constData(), *it.value());
            else
                qunsetenv(it.key().constData());
        }
    }
    void set(const char *name, const QByteArray &value)
    {
        remember(name);
        qputenv(name, value);
    }
    void unset(const char *name)
    {
        remember(name);
        qunsetenv(name);
    }

private:
    void remember(const char *name)
    {
        if (!m_saved.contains(name))
            m_saved.insert(name, qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt);
    }
    QMap<QByteArray, std::optional<QByteArray>> m_saved;
};

TEST(SecretServiceKeyringTest, WithoutASessionBusEveryCallAnswersNoServiceAtOnce)
{
    QTemporaryDir runtime;
    ASSERT_TRUE(runtime.isValid());
    ScopedEnvironment environment;
    environment.unset("DBUS_SESSION_BUS_ADDRESS");
    // A runtime folder without a bus socket: nothing to connect to, and no
    // bus is autolaunched.
    environment.set("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    environment.unset("DISPLAY");

    SecretServiceKeyring keyring;
    for (const PasswordKeyring::Answer &answer :
         {keyring.lookup(QStringLiteral("nas"), QStringLiteral("ann")),
          keyring.store(QStringLiteral("nas"), QStringLiteral("ann"), QStringLiteral("pw")),
          keyring.clear(QStringLiteral("nas"), QStringLiteral("ann"))}) {
        EXPECT_EQ(answer.outcome, Outcome::NoService);
        EXPECT_EQ(answer.reason, QStringLiteral("there is no D-Bus session bus"));
        EXPECT_TRUE(answer.password.isNull());
    }
}

// One keyring daemon for the suite: libsecret keeps its connection to the
// session bus for the life of the process.
class SecretServiceKeyringDaemonTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        skipReason = new QString(TestKeyringDaemon::missingPrerequisite());
        if (!skipReason->isNull())
            return;
        folder = new QTemporaryDir;
        daemon = new TestKeyringDaemon;
        *skipReason = daemon->start(folder->filePath(QStringLiteral("run")), folder->filePath(QStringLiteral("home")));
        if (!skipReason->isNull())
            return;
        QProcessEnvironment variables;
        daemon->addTo(variables);
        environment = new ScopedEnvironment;
        for (const char *name : {"DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR"})
            environment->set(name, variables.value(QLatin1String(name)).toUtf8());
    }
    static void TearDownTestSuite()
    {
        delete environment;
        delete daemon;
        delete folder;
        delete skipReason;
    }
    void SetUp() override
    {
        if (!skipReason->isNull())
            GTEST_SKIP() << skipReason->toStdString();
    }

    static inline QString *skipReason = nullptr;
    static inline QTemporaryDir *folder = nullptr;
    static inline TestKeyringDaemon *daemon = nullptr;
    static inline ScopedEnvironment *environment = nullptr;
};

TEST_F(SecretServiceKeyringDaemonTest, OnePasswordPerServerAndUserStoredReplacedAndCleared)
{
    SecretServiceKeyring keyring;
    EXPECT_TRUE(keyring.unavailableReason().isNull()) << keyring.unavailableReason().toStdString();
    const QString nas = QStringLiteral("nas.local");
    const QString ann = QStringLiteral("ann");
    const QString unusual = QStringLiteral("pä ss\tword=1,\"x\"");
    EXPECT_EQ(keyring.lookup(nas, ann).outcome, Outcome::NotFound);
    ASSERT_EQ(keyring.store(nas, ann, QStringLiteral("first")).outcome, Outcome::Done);
    ASSERT_EQ(keyring.store(nas, QStringLiteral("bob"), unusual).outcome, Outcome::Done);
    ASSERT_EQ(keyring.store(QStringLiteral("192.168.1.20"), ann, QStringLiteral("other")).outcome, Outcome::Done);
    // The guest: no user name, and a server given by no name at all.
    ASSERT_EQ(keyring.store(QString(), QString(), QStringLiteral("guest")).outcome, Outcome::Done);

    EXPECT_EQ(keyring.lookup(nas, ann).password, QStringLiteral("first"));
    EXPECT_EQ(keyring.lookup(nas, QStringLiteral("bob")).password, unusual);
    EXPECT_EQ(keyring.lookup(QStringLiteral("192.168.1.20"), ann).password, QStringLiteral("other"));
    EXPECT_EQ(keyring.lookup(QString(), QString()).password, QStringLiteral("guest"));
    EXPECT_EQ(keyring.lookup(QStringLiteral("NAS.local"), ann).outcome, Outcome::NotFound);

    ASSERT_EQ(keyring.store(nas, ann, QStringLiteral("second")).outcome, Outcome::Done);
    EXPECT_EQ(keyring.lookup(nas, ann).password, QStringLiteral("second")) << "replaced, not added";

    EXPECT_EQ(keyring.clear(nas, ann).outcome, Outcome::Done);
    EXPECT_EQ(keyring.lookup(nas, ann).outcome, Outcome::NotFound);
    EXPECT_EQ(keyring.clear(nas, ann).outcome, Outcome::Done) << "nothing left to clear is no failure";
    EXPECT_EQ(keyring.lookup(nas, QStringLiteral("bob")).password, unusual) << "the others stay";
}

TEST_F(SecretServiceKeyringDaemonTest, ThePasswordIsInNoFileInTheClear)
{
    SecretServiceKeyring keyring;
    const QString password = QStringLiteral("never-in-clear-7351");
    ASSERT_EQ(keyring.store(QStringLiteral("nas"), QStringLiteral("ann"), password).outcome, Outcome::Done);
    // A second object finds it: it is in the daemon, not in this one.
    EXPECT_EQ(SecretServiceKeyring().lookup(QStringLiteral("nas"), QStringLiteral("ann")).password, password);
    int files = 0;
    QDirIterator it(folder->path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        ++files;
        if (file.open(QIODevice::ReadOnly)) {
            EXPECT_FALSE(file.readAll().contains(password.toUtf8())) << file.fileName().toStdString();
        }
    }
    EXPECT_GT(files, 0) << "the keyring keeps files of its own";
    ASSERT_TRUE(QFile::exists(daemon->keyringsFolder() + QStringLiteral("/login.keyring")));
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(daemon->keyringsFolder() + QStringLiteral("/login.keyring")).constData(), &info),
              0);
    EXPECT_EQ(info.st_mode & 077, 0u);
}

} // namespace

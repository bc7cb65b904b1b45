#include "cli/PasswordCommand.h"

#include "app/SettingsStore.h"
#include "app/SharePasswordStore.h"
#include "cli/CliOptions.h"
#include "cli/ConfigCommand.h"
#include "platform/ControlCharacters.h"

#include <algorithm>
#include <csignal>
#include <iterator>
#include <termios.h>
#include <unistd.h>

namespace {

// The terminal as it was before echo was turned off, for a signal that
// ends the program while the password is typed.
struct termios echoingTerminal {};
int quietTerminal = -1;

void restoreEchoAndDie(int signalNumber)
{
    ::tcsetattr(quietTerminal, TCSANOW, &echoingTerminal);
    ::signal(signalNumber, SIG_DFL);
    ::raise(signalNumber);
}

const int endingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP};

QString describedKey(const QString &server, const QString &user)
{
    return QStringLiteral("user %1 on %2")
        .arg(user.isEmpty() ? QStringLiteral("(none)") : user, server.isEmpty() ? QStringLiteral("(no server)") : server);
}

} // namespace

PasswordCommand::PasswordCommand(SettingsStore &settings, std::shared_ptr<PasswordKeyring> keyring, FILE *out,
                                 FILE *err, FILE *in)
    : m_settings(settings), m_keyring(std::move(keyring)), m_out(out), m_err(err), m_in(in)
{
}

QString PasswordCommand::readSecretLine(FILE *in, FILE *err, const QString &prompt)
{
    const int descriptor = ::fileno(in);
    const bool terminal = ::isatty(descriptor) && ::tcgetattr(descriptor, &echoingTerminal) == 0;
    struct sigaction previous[std::size(endingSignals)] {};
    if (terminal) {
        std::fputs(prompt.toLocal8Bit().constData(), err);
        std::fflush(err);
        quietTerminal = descriptor;
        struct sigaction restoring {};
        restoring.sa_handler = restoreEchoAndDie;
        sigemptyset(&restoring.sa_mask);
        for (size_t i = 0; i < std::size(endingSignals); ++i)
            ::sigaction(endingSignals[i], &restoring, &previous[i]);
        struct termios quiet = echoingTerminal;
        // The line end still shows, so the next output starts on a line of its own.
        quiet.c_lflag = (quiet.c_lflag & ~tcflag_t(ECHO)) | ECHONL;
        ::tcsetattr(descriptor, TCSAFLUSH, &quiet);
    }
    QByteArray typed;
    char chunk[512];
    bool ended = true;
    while (std::fgets(chunk, sizeof chunk, in)) {
        ended = false;
        typed += chunk;
        if (typed.endsWith('\n'))
            break;
    }
    std::fill(std::begin(chunk), std::end(chunk), '\0');
    if (terminal) {
        ::tcsetattr(descriptor, TCSAFLUSH, &echoingTerminal);
        for (size_t i = 0; i < std::size(endingSignals); ++i)
            ::sigaction(endingSignals[i], &previous[i], nullptr);
        quietTerminal = -1;
    }
    if (ended)
        return {};
    const QString line = secretOfLine(typed);
    typed.fill('\0');
    return line;
}

QString PasswordCommand::secretOfLine(QByteArray line)
{
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    if (line.startsWith("\xEF\xBB\xBF"))
        line.remove(0, 3);
    const QString secret = QString::fromUtf8(line);
    line.fill('\0');
    return secret;
}

void PasswordCommand::error(const QString &message)
{
    std::fprintf(m_err, "orvanasync-cli: %s\n", ControlCharacters::escaped(message).toLocal8Bit().constData());
    std::fflush(m_err);
}

void PasswordCommand::output(const QString &line)
{
    const QByteArray bytes = ControlCharacters::escaped(line).toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_out);
    std::fflush(m_out);
}

int PasswordCommand::run(const CliOptions &options)
{
    const QStringList &arguments = options.arguments();
    const QString action = arguments.value(0);
    if (arguments.size() != 1 || (action != u"set" && action != u"clear")) {
        error(arguments.size() > 1 && (action == u"set" || action == u"clear")
                  ? QStringLiteral("password %1 takes no more words: a password is never given on the command line; "
                                   "type it when asked, or give it on standard input")
                        .arg(action)
                  : QStringLiteral("password needs set or clear (orvanasync-cli --help shows the forms)"));
        return 2;
    }
    if (const QString warning =
            ConfigCommand::readableByOthersWarning(m_settings.fileName(), QStringLiteral("the settings file"));
        !warning.isNull())
        error(warning);
    QString server = options.server();
    if (server.isNull())
        server = options.serverName();
    if (server.isNull())
        server = SharePasswordStore::storedServer(m_settings);
    const QString user = options.userName().isNull() ? SharePasswordStore::storedUser(m_settings) : options.userName();
    return action == u"set" ? set(server, user) : clear(server, user);
}

int PasswordCommand::set(const QString &server, const QString &user)
{
    QString password =
        readSecretLine(m_in, m_err, QStringLiteral("Share password for %1: ").arg(describedKey(server, user)));
    if (password.isEmpty()) {
        error(QStringLiteral("no password was given (password clear removes the stored one)"));
        return 2;
    }
    SharePasswordStore store(m_settings, m_keyring);
    const bool saved = store.save(server, user, password);
    password.fill(QLatin1Char('\0'));
    if (!saved) {
        error(store.error());
        return 2;
    }
    if (!store.notice().isNull()) {
        error(QStringLiteral("notice: ") + store.notice());
        output(QStringLiteral("The password of %1 is stored in the settings file").arg(describedKey(server, user)));
    } else {
        output(QStringLiteral("The password of %1 is stored in the keyring").arg(describedKey(server, user)));
    }
    return 0;
}

int PasswordCommand::clear(const QString &server, const QString &user)
{
    SharePasswordStore store(m_settings, m_keyring);
    if (!store.clear(server, user)) {
        error(store.error());
        return 2;
    }
    output(QStringLiteral("The stored password of %1 is removed").arg(describedKey(server, user)));
    return 0;
}

#pragma once

#include <QString>

#include <cstdio>
#include <memory>

class CliOptions;
class PasswordKeyring;
class SettingsStore;

// orvanasync-cli password set | clear: the share password of a server and
// user (the stored ones unless --server, --server-name or --user name
// others) kept by the password rules: in the desktop's keyring where one
// runs, else in the settings file. set reads it from the terminal without
// echo, or from standard input when that is not a terminal.
class PasswordCommand {
public:
    PasswordCommand(SettingsStore &settings, std::shared_ptr<PasswordKeyring> keyring, FILE *out, FILE *err,
                    FILE *in = stdin);

    // Answers the exit status: 0 done, 2 a mistake or nowhere to keep it.
    int run(const CliOptions &options);

    // One line of `in`, without its line end; on a terminal the typing is
    // not shown and `prompt` goes to `err` first. Null at the end of input.
    static QString readSecretLine(FILE *in, FILE *err, const QString &prompt);
    // A line read as a secret: without its line end, and without the byte
    // order mark an editor may put first (no password begins with one).
    static QString secretOfLine(QByteArray line);

private:
    int set(const QString &server, const QString &user);
    int clear(const QString &server, const QString &user);
    void error(const QString &message);
    void output(const QString &line);

    SettingsStore &m_settings;
    std::shared_ptr<PasswordKeyring> m_keyring;
    FILE *m_out;
    FILE *m_err;
    FILE *m_in;
};

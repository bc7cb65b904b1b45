#pragma once

#include <QString>
#include <QList>
#include <QStringList>

#include <cstdio>
#include <memory>

class PasswordKeyring;
class SettingsStore;

// orvanasync-cli config list | get KEY | set KEY VALUE | unset KEY: the
// settings file read and changed one key at a time. The password is never
// shown and is read from standard input, not from the command line; with a
// keyring, set and unset of it follow the password rules (as
// orvanasync-cli password set | clear for the stored server and user).
class ConfigCommand {
public:
    // out: the values; err: errors and warnings, each line prefixed.
    ConfigCommand(SettingsStore &settings, FILE *out, FILE *err, FILE *in = stdin);

    void setPasswordKeyring(std::shared_ptr<PasswordKeyring> keyring) { m_keyring = std::move(keyring); }

    // Answers the exit status: 0 done, 1 get of a key with no value,
    // 2 a mistake (unknown key, bad value, file not writable).
    int run(const QStringList &arguments);

    // The documented keys and what each holds, for the help text.
    static QList<std::pair<QString, QString>> keyDescriptions();
    // "warning: FILE can be read by other users ...", or null when only its
    // owner can read it (or it does not exist).
    static QString readableByOthersWarning(const QString &path, const QString &what);

private:
    int list();
    int get(const QString &key);
    int set(const QString &key, const QStringList &values);
    int unset(const QString &key);
    void error(const QString &message);
    void output(const QString &line);

    SettingsStore &m_settings;
    FILE *m_out;
    FILE *m_err;
    FILE *m_in;
    std::shared_ptr<PasswordKeyring> m_keyring;
};

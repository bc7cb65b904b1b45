#pragma once

#include <QString>

#include <memory>

class PasswordKeyring;
class SettingsStore;

// Where the share password is kept: in the desktop's keyring, one per server
// and user, where a Secret Service runs; in the settings file (readable by
// its user alone) where none does. A clear-text "MusicServerPassword" of the
// file is moved into the keyring on first use and removed from the file.
//
// Each call leaves one line for the person in notice() when the password is
// (or stays) in the settings file, and the cause in error() when it failed.
class SharePasswordStore {
public:
    SharePasswordStore(SettingsStore &settings, std::shared_ptr<PasswordKeyring> keyring);

    // The server the stored settings name: the address when chosen by
    // address, else the chosen server's name (else the address).
    static QString storedServer(const SettingsStore &settings);
    static QString storedUser(const SettingsStore &settings);

    // Leave: a run that writes nothing (a dry run) reads the file's clear
    // text where it is.
    enum class ClearText { Move, Leave };

    // The password stored for server and user, else the one stored for the
    // stored server and user (the password the settings file held before);
    // null when there is none.
    QString password(const QString &server, const QString &user, ClearText clearText = ClearText::Move);
    // An empty password removes the stored one. False when it could be kept
    // nowhere (error() says why); the keyring failing is not that: the file
    // keeps it then, with a notice.
    bool save(const QString &server, const QString &user, const QString &password);
    // Removes the stored password from the keyring and the file. False when
    // either refused (error() says why).
    bool clear(const QString &server, const QString &user);

    const QString &notice() const { return m_notice; }
    const QString &error() const { return m_error; }

private:
    QString keptInFileNotice(const QString &why) const;
    bool removeFromFile();

    SettingsStore &m_settings;
    std::shared_ptr<PasswordKeyring> m_keyring;
    QString m_notice;
    QString m_error;
};

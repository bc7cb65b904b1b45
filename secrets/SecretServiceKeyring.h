#pragma once

#include "secrets/PasswordKeyring.h"

#include <QString>

#include <optional>

// The keyring of the desktop's Secret Service (GNOME Keyring, KWallet) over
// libsecret: items of the schema "org.orvanasync.SharePassword" with the
// attributes "server" and "user", in the default collection.
//
// Every call returns within the timeout: the session bus is looked for
// without autolaunching one, and each exchange runs on a private GLib main
// context that is given up (and the exchange cancelled) when the time is
// over. Calling thread only; the programs use it on the main thread.
class SecretServiceKeyring : public PasswordKeyring {
public:
    // Long enough for a person to answer an unlock prompt.
    static constexpr int defaultTimeoutMs = 60000;
    static const char *const schemaName;

    explicit SecretServiceKeyring(int timeoutMs = defaultTimeoutMs);

    Answer lookup(const QString &server, const QString &user) override;
    Answer store(const QString &server, const QString &user, const QString &password) override;
    Answer clear(const QString &server, const QString &user) override;

    // Why no Secret Service can be reached here (no session bus, or nobody
    // owns or can be started as org.freedesktop.secrets), or null when one
    // can. Asked once per object.
    QString unavailableReason();

private:
    int m_timeoutMs;
    std::optional<QString> m_unavailableReason;
};

#pragma once

#include <QString>

// Where the share password is kept when the desktop has a keyring: one
// password per server and user. Answers are values; "no keyring here" is an
// answer of its own, not a failure.
class PasswordKeyring {
public:
    enum class Outcome {
        Done,      // looked up (password set), stored or cleared
        NotFound,  // lookup: nothing stored for the server and user
        NoService, // no keyring can be reached here: reason says why
        Failed,    // the keyring answered with an error or not in time: reason says what
    };
    struct Answer {
        Outcome outcome = Outcome::Failed;
        QString password;
        QString reason;
    };

    virtual ~PasswordKeyring() = default;

    virtual Answer lookup(const QString &server, const QString &user) = 0;
    virtual Answer store(const QString &server, const QString &user, const QString &password) = 0;
    // Done also when nothing was stored.
    virtual Answer clear(const QString &server, const QString &user) = 0;
};

#pragma once

#include "secrets/PasswordKeyring.h"

#include <QMap>
#include <QPair>
#include <QString>
#include <QStringList>

#include <optional>

// A keyring in memory: reachable or not, failing on demand, recording the
// calls made of it.
class FakePasswordKeyring : public PasswordKeyring {
public:
    enum class State { Running, NoService, Failing };

    Answer lookup(const QString &server, const QString &user) override;
    Answer store(const QString &server, const QString &user, const QString &password) override;
    Answer clear(const QString &server, const QString &user) override;

    State state = State::Running;
    // (server, user) -> password
    QMap<QPair<QString, QString>, QString> items;
    // "lookup server user", "store server user", "clear server user"
    QStringList calls;

private:
    std::optional<Answer> unavailable() const;
};

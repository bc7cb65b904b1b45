#include "tests/secrets/FakePasswordKeyring.h"

std::optional<PasswordKeyring::Answer> FakePasswordKeyring::unavailable() const
{
    switch (state) {
    case State::Running:
        return std::nullopt;
    case State::NoService:
        return Answer{Outcome::NoService, QString(), QStringLiteral("there is no D-Bus session bus")};
    case State::Failing:
        return Answer{Outcome::Failed, QString(), QStringLiteral("the collection is locked")};
    }
    return std::nullopt;
}

PasswordKeyring::Answer FakePasswordKeyring::lookup(const QString &server, const QString &user)
{
    calls.append(QStringLiteral("lookup %1 %2").arg(server, user));
    if (const auto answer = unavailable())
        return *answer;
    const auto found = items.constFind({server, user});
    if (found == items.constEnd())
        return {Outcome::NotFound, QString(), QString()};
    return {Outcome::Done, *found, QString()};
}

PasswordKeyring::Answer FakePasswordKeyring::store(const QString &server, const QString &user,
                                                   const QString &password)
{
    calls.append(QStringLiteral("store %1 %2").arg(server, user));
    if (const auto answer = unavailable())
        return *answer;
    items.insert({server, user}, password);
    return {Outcome::Done, QString(), QString()};
}

PasswordKeyring::Answer FakePasswordKeyring::clear(const QString &server, const QString &user)
{
    calls.append(QStringLiteral("clear %1 %2").arg(server, user));
    if (const auto answer = unavailable())
        return *answer;
    items.remove({server, user});
    return {Outcome::Done, QString(), QString()};
}

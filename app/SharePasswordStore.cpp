#include "app/SharePasswordStore.h"

#include "app/SettingsStore.h"
#include "secrets/PasswordKeyring.h"

using Outcome = PasswordKeyring::Outcome;

SharePasswordStore::SharePasswordStore(SettingsStore &settings, std::shared_ptr<PasswordKeyring> keyring)
    : m_settings(settings), m_keyring(std::move(keyring))
{
}

QString SharePasswordStore::storedServer(const SettingsStore &settings)
{
    const QString name = settings.string(SettingsStore::MusicServerNameKey);
    if (settings.boolean(SettingsStore::SelectByIPAddressKey) || name.isEmpty())
        return settings.string(SettingsStore::MusicServerIPAddressKey).trimmed();
    return name;
}

QString SharePasswordStore::storedUser(const SettingsStore &settings)
{
    return settings.string(SettingsStore::MusicServerUserNameKey);
}

QString SharePasswordStore::keptInFileNotice(const QString &why) const
{
    return QStringLiteral("%1: the password is kept in the settings file %2, readable by you alone")
        .arg(why, m_settings.fileName());
}

bool SharePasswordStore::removeFromFile()
{
    if (!m_settings.isStored(SettingsStore::MusicServerPasswordKey) ||
        m_settings.remove(SettingsStore::MusicServerPasswordKey))
        return true;
    m_error = QStringLiteral("cannot write the settings file %1 to remove the password from it").arg(m_settings.fileName());
    return false;
}

QString SharePasswordStore::password(const QString &server, const QString &user, ClearText mode)
{
    m_notice.clear();
    m_error.clear();
    const QString clearText = m_settings.string(SettingsStore::MusicServerPasswordKey);
    const bool inFile = m_settings.isStored(SettingsStore::MusicServerPasswordKey);
    if (inFile && mode == ClearText::Leave) {
        const bool storedKey = server == storedServer(m_settings) && user == storedUser(m_settings);
        const PasswordKeyring::Answer found =
            storedKey ? PasswordKeyring::Answer{} : m_keyring->lookup(server, user);
        return found.outcome == Outcome::Done ? found.password : clearText;
    }
    if (inFile && !clearText.isEmpty()) {
        // It belongs to the stored server and user, whichever this run uses.
        const PasswordKeyring::Answer moved =
            m_keyring->store(storedServer(m_settings), storedUser(m_settings), clearText);
        if (moved.outcome == Outcome::NoService) {
            m_notice = keptInFileNotice(QStringLiteral("no Secret Service here (%1)").arg(moved.reason));
            return clearText;
        }
        if (moved.outcome != Outcome::Done) {
            m_notice = keptInFileNotice(QStringLiteral("the keyring did not take the password (%1)").arg(moved.reason));
            return clearText;
        }
        if (!removeFromFile())
            m_notice = m_error;
    }

    const PasswordKeyring::Answer found = m_keyring->lookup(server, user);
    if (found.outcome == Outcome::NoService)
        return inFile ? clearText : QString();
    // A keyring is here: an empty password in the file is no password.
    if (inFile && clearText.isEmpty() && !removeFromFile())
        m_notice = m_error;
    if (found.outcome == Outcome::Done)
        return found.password;
    if (found.outcome == Outcome::Failed) {
        m_notice = QStringLiteral("the keyring could not be read (%1): no stored password is used").arg(found.reason);
        return {};
    }
    const QString fallbackServer = storedServer(m_settings);
    const QString fallbackUser = storedUser(m_settings);
    if (fallbackServer != server || fallbackUser != user) {
        const PasswordKeyring::Answer stored = m_keyring->lookup(fallbackServer, fallbackUser);
        if (stored.outcome == Outcome::Done)
            return stored.password;
    }
    return {};
}

bool SharePasswordStore::save(const QString &server, const QString &user, const QString &password)
{
    if (password.isEmpty())
        return clear(server, user);
    m_notice.clear();
    m_error.clear();
    const PasswordKeyring::Answer stored = m_keyring->store(server, user, password);
    if (stored.outcome == Outcome::Done)
        return removeFromFile();
    if (!m_settings.setValue(SettingsStore::MusicServerPasswordKey, password)) {
        m_error = QStringLiteral("cannot write the settings file %1: check that its folder exists and is yours")
                      .arg(m_settings.fileName());
        return false;
    }
    m_notice = keptInFileNotice(stored.outcome == Outcome::NoService
                                    ? QStringLiteral("no Secret Service here (%1)").arg(stored.reason)
                                    : QStringLiteral("the keyring did not take the password (%1)").arg(stored.reason));
    return true;
}

bool SharePasswordStore::clear(const QString &server, const QString &user)
{
    m_notice.clear();
    m_error.clear();
    const PasswordKeyring::Answer cleared = m_keyring->clear(server, user);
    const bool keyringCleared = cleared.outcome != Outcome::Failed;
    if (!removeFromFile())
        return false;
    if (!keyringCleared)
        m_error = QStringLiteral("the keyring did not remove the password (%1)").arg(cleared.reason);
    return keyringCleared;
}

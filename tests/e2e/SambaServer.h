#pragma once

#include <QProcess>
#include <QString>

// A Samba server of one test: smbd on 127.0.0.1 at a free port of its own,
// with its configuration, state and log in one folder, serving one share
// to one user with a password. The user must be a Unix user (smbd works as
// that user on the share), and smbd needs root to switch to it.
class SambaServer {
public:
    ~SambaServer() { stop(); }

    // Why smbd cannot run here (a missing program, not root), or null.
    static QString missingPrerequisite();

    // Starts smbd and waits until it accepts connections; on failure
    // answers why, else null.
    QString start(const QString &folder, const QString &shareName, const QString &userName, const QString &password);
    void stop();

    quint16 port() const { return m_port; }
    // The folder the share serves: what the server holds.
    QString shareFolder() const;
    // The end of smbd's log, for failure messages.
    QString logTail() const;

private:
    QString writeConfiguration(const QString &shareName, const QString &userName) const;
    QString addUser(const QString &userName, const QString &password) const;

    QString m_folder;
    quint16 m_port = 0;
    QProcess m_smbd;
};

#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

// One window per settings file. Two windows on one file would each write
// their fields back at exit, the later one over the earlier one's changes;
// so a second start hands over to the window already open (which comes to
// the front) and ends. The first start holds a lock file and listens on a
// local socket beside it, both in the user's runtime folder and named by
// the settings file; a lock left by a process that is gone is taken over.
class SingleInstance : public QObject {
    Q_OBJECT

public:
    // runtimeFolder null: the user's runtime folder (XDG_RUNTIME_DIR).
    explicit SingleInstance(const QString &settingsFile, const QString &runtimeFolder = QString(),
                            QObject *parent = nullptr);
    ~SingleInstance() override;

    // True when this process is to open its window: it is the first for the
    // settings file and hears later starts (activationRequested), or no lock
    // can be had here, or the process holding it does not answer. False when
    // another process holds it and has been asked to show its window.
    bool claim();

    const QString &lockPath() const { return m_lockPath; }

Q_SIGNALS:
    // A later start asked for the window.
    void activationRequested();

private:
    bool askTheFirstToShowItsWindow() const;

    QString m_lockPath;
    QString m_socketPath;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer m_server;
};

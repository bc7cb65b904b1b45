#include "desktop/SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

namespace {

constexpr QByteArrayView ShowRequest = "show\n";
constexpr int ConnectAttempts = 20;
constexpr int ConnectWaitMs = 100;

// The same file however it is named (relative, through a link).
QString keyOf(const QString &settingsFile)
{
    const QFileInfo info(settingsFile);
    const QString canonical = info.canonicalFilePath();
    const QString path = canonical.isEmpty() ? info.absoluteFilePath() : canonical;
    return QString::fromLatin1(QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha256).toHex().left(16));
}

} // namespace

SingleInstance::SingleInstance(const QString &settingsFile, const QString &runtimeFolder, QObject *parent)
    : QObject(parent)
{
    const QString folder =
        runtimeFolder.isNull() ? QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) : runtimeFolder;
    const QString base = QDir(folder).filePath(QStringLiteral("orvanasync-") + keyOf(settingsFile));
    m_lockPath = base + QStringLiteral(".lock");
    m_socketPath = base + QStringLiteral(".socket");
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *connection = m_server.nextPendingConnection()) {
            connect(connection, &QLocalSocket::disconnected, connection, &QObject::deleteLater);
            connect(connection, &QLocalSocket::readyRead, this, [this, connection] {
                if (connection->readAll().contains(ShowRequest))
                    Q_EMIT activationRequested();
            });
        }
    });
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::claim()
{
    m_lock = std::make_unique<QLockFile>(m_lockPath);
    // Stale only when its process is gone, never by age: a window stays
    // open for weeks.
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0)) {
        // Another process holds it, or the folder cannot take a lock file:
        // only in the first case is there a window to show.
        const bool held = m_lock->error() == QLockFile::LockFailedError;
        m_lock.reset();
        return !(held && askTheFirstToShowItsWindow());
    }
    // A socket left by a process that ended without removing it.
    QLocalServer::removeServer(m_socketPath);
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    m_server.listen(m_socketPath);
    return true;
}

bool SingleInstance::askTheFirstToShowItsWindow() const
{
    // The first process listens right after it locks: give it a moment.
    for (int attempt = 0; attempt < ConnectAttempts; ++attempt) {
        QLocalSocket socket;
        socket.connectToServer(m_socketPath);
        if (socket.waitForConnected(ConnectWaitMs)) {
            socket.write(ShowRequest.data(), ShowRequest.size());
            const bool sent = socket.waitForBytesWritten(1000);
            socket.disconnectFromServer();
            return sent;
        }
        QThread::msleep(ConnectWaitMs);
    }
    return false;
}

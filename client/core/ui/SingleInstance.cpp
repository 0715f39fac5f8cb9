#include "core/ui/SingleInstance.h"

#include "core/AppIdentity.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalSocket>
#include <QThread>

#include <unistd.h>

namespace mavo {

namespace {

constexpr char kActivate[] = "activate\n";
constexpr char kAnswer[] = "ok\n";

QString SettingsDirectory()
{
    QString dir = qEnvironmentVariable("BRINDLE_REGISTRY_DIR");
    if (!dir.isEmpty())
        return QDir(dir).absolutePath();
    dir = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (dir.isEmpty())
        dir = QDir::homePath() + QStringLiteral("/.config");
    return QDir(dir).absolutePath() + QStringLiteral("/brindle");
}

QString RuntimeDirectory()
{
    const QString dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!dir.isEmpty() && QDir(dir).exists())
        return dir;
    return QDir::tempPath();
}

} // namespace

CSingleInstance::CSingleInstance(const QString& directory, QObject* parent)
    : QObject(parent), m_directory(directory.isEmpty() ? RuntimeDirectory() : directory), m_name(InstanceName())
{
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&m_server, &QLocalServer::newConnection, this, &CSingleInstance::OnConnection);
}

CSingleInstance::~CSingleInstance()
{
    m_server.close();
    if (m_lock)
        m_lock->unlock();
}

QString CSingleInstance::InstanceName()
{
    const QByteArray digest =
        QCryptographicHash::hash(SettingsDirectory().toUtf8(), QCryptographicHash::Sha256).toHex().left(12);
    return QStringLiteral("%1-%2-%3")
        .arg(QString::fromLatin1(kInstanceClassName))
        .arg(::getuid())
        .arg(QString::fromLatin1(digest));
}

QString CSingleInstance::LockPath() const { return m_directory + QLatin1Char('/') + m_name + QStringLiteral(".lock"); }

QString CSingleInstance::SocketPath() const
{
    return m_directory + QLatin1Char('/') + m_name + QStringLiteral(".sock");
}

bool CSingleInstance::TryLock()
{
    if (m_lock && m_lock->isLocked())
        return true;
    m_lock = std::make_unique<QLockFile>(LockPath());
    // Only a dead holder makes the lock stale, never its age.
    m_lock->setStaleLockTime(0);
    return m_lock->tryLock(0);
}

bool CSingleInstance::ActivateRunning(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (true) {
        QLocalSocket socket;
        socket.connectToServer(SocketPath());
        if (socket.waitForConnected(std::max<qint64>(1, std::min<qint64>(500, deadline.remainingTime())))) {
            socket.write(kActivate);
            socket.waitForBytesWritten(1000);
            while (socket.bytesAvailable() < qint64(sizeof kAnswer - 1) &&
                   socket.waitForReadyRead(std::max<qint64>(1, deadline.remainingTime()))) {
            }
            return socket.readAll().startsWith(kAnswer);
        }
        // The running instance may not listen yet: it is starting.
        if (deadline.hasExpired())
            return false;
        QThread::msleep(50);
    }
}

bool CSingleInstance::Listen()
{
    // The lock is ours, so a socket file left here belongs to a dead holder.
    QLocalServer::removeServer(SocketPath());
    return m_server.listen(SocketPath());
}

void CSingleInstance::OnConnection()
{
    while (QLocalSocket* client = m_server.nextPendingConnection()) {
        connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
        connect(client, &QLocalSocket::readyRead, this, [this, client] {
            if (!client->canReadLine())
                return;
            const QByteArray line = client->readLine(64);
            if (line == kActivate) {
                emit ActivationRequested();
                client->write(kAnswer);
                client->flush();
            }
            client->disconnectFromServer();
        });
    }
}

} // namespace mavo

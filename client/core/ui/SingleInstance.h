// CSingleInstance: one MAVO per settings store and user. The first start
// holds a lock file and listens on a local socket beside it; a later start
// finds the lock taken, asks the running instance over the socket to come
// forward, and ends without creating anything.
//
// The name of both is kInstanceClassName, the user's id and a digest of
// the settings store's directory (BRINDLE_REGISTRY_DIR, else
// $XDG_CONFIG_HOME/brindle, else ~/.config/brindle), so that a test or a
// second settings store runs its own instance. They live in
// $XDG_RUNTIME_DIR (else the temporary directory) unless a directory is
// given.
//
// A lock left by a process that died is taken over (QLockFile checks the
// holder's process id).
//
// Thread-safety: the window thread only.
#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

namespace mavo {

class CSingleInstance : public QObject {
    Q_OBJECT
public:
    explicit CSingleInstance(const QString& directory = QString(), QObject* parent = nullptr);
    ~CSingleInstance() override;

    // The instance's name for this settings store and user.
    static QString InstanceName();
    QString LockPath() const;
    QString SocketPath() const;

    // True when this process now holds the instance lock (it is the first).
    bool TryLock();
    // Asks the running instance to come forward; true when it answered.
    // Waits at most timeoutMs for an instance that is still starting.
    bool ActivateRunning(int timeoutMs = 5000);
    // Starts listening for later starts; false when the socket cannot be made.
    bool Listen();

signals:
    // A later start asked this instance to come forward.
    void ActivationRequested();

private:
    void OnConnection();

    QString m_directory;
    QString m_name;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer m_server;
};

} // namespace mavo

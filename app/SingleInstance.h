#pragma once

#include <QObject>
#include <QSharedMemory>

#include <memory>

class QLockFile;

class QLocalServer;

// The single-instance lock "lumira_app.lock" and, where windows cannot be found
// across processes by title, the channel on which a second start asks this
// instance to bring its windows forward.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    explicit SingleInstance(QObject *parent = nullptr);
    ~SingleInstance() override;

    // False when another running instance holds the lock.
    bool tryLock();

    // Starts listening for raise requests; call only while holding the lock.
    void listen();

    QString channelName() const;

    // Raises the top-level windows of this process: "Lumira" to the front (it
    // does not stay on top), "lumira_video" and "lumira_eye" stay on top.
    static void raiseOwnWindows();

signals:
    void raiseRequested();

private:
#ifdef Q_OS_WIN
    QSharedMemory m_lock;
#else
    std::unique_ptr<QLockFile> m_lock;
#endif
    QLocalServer *m_server = nullptr;
};

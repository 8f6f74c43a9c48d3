#include "app/SingleInstance.h"

#include "platform/Desktop.h"

#include <QDir>
#include <QGuiApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QWindow>

namespace
{

const char kLockKey[] = "lumira_app.lock";

// Per-user location: the lock of one desktop user must not block another.
QString runtimeDir()
{
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    return dir;
}

} // namespace

SingleInstance::SingleInstance(QObject *parent)
    : QObject(parent)
{
#ifdef Q_OS_WIN
    m_lock.setKey(QString::fromLatin1(kLockKey));
#else
    // A lock file, not a System V segment: a segment's key is folded from the
    // file's inode, so two users' (or two data folders') keys can meet, and a
    // segment outlives a client that was killed. The file names its holder,
    // and a holder that is gone is taken over.
    m_lock = std::make_unique<QLockFile>(runtimeDir() + QLatin1Char('/') + QString::fromLatin1(kLockKey));
    m_lock->setStaleLockTime(0);
#endif
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::channelName() const
{
#ifdef Q_OS_WIN
    return QString::fromLatin1(kLockKey);
#else
    return runtimeDir() + QStringLiteral("/lumira_app.sock");
#endif
}

bool SingleInstance::tryLock()
{
#ifdef Q_OS_WIN
    return m_lock.create(2, QSharedMemory::ReadWrite);
#else
    return m_lock->tryLock(0);
#endif
}

void SingleInstance::listen()
{
#ifndef Q_OS_WIN
    if (m_server)
        return;
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    QLocalServer::removeServer(channelName()); // left by a crashed instance; we hold the lock
    if (!m_server->listen(channelName()))
        return;
    connect(m_server, &QLocalServer::newConnection, this, [this]() {
        while (QLocalSocket *socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket]() {
                if (socket->readAll().contains(lumira::platform::kRaiseMessage)) {
                    raiseOwnWindows();
                    emit raiseRequested();
                }
            });
        }
    });
#endif
}

void SingleInstance::raiseOwnWindows()
{
    for (QWindow *window : QGuiApplication::topLevelWindows()) {
        const QString title = window->title();
        if (title == QLatin1String("Lumira")) {
            if (window->windowState() & Qt::WindowMinimized)
                window->showNormal();
            window->raise();
            window->requestActivate();
        } else if (title == QLatin1String("lumira_video") || title == QLatin1String("lumira_eye")) {
            window->setFlags(window->flags() | Qt::WindowStaysOnTopHint);
            window->raise();
        }
    }
}

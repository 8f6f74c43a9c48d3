#include "app/SingleInstance.h"

#include "platform/Desktop.h"

#include <QDir>
#include <QGuiApplication>
#include <QLocalServer>
#include <QLocalSocket>
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
    m_lock.setNativeKey(runtimeDir() + QLatin1Char('/') + QString::fromLatin1(kLockKey));
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
#ifndef Q_OS_WIN
    // System V segments outlive a crashed owner. Attaching and detaching again
    // removes a segment nobody else is attached to, and leaves a live one alone.
    {
        QSharedMemory probe;
        probe.setNativeKey(m_lock.nativeKey());
        if (probe.attach())
            probe.detach();
    }
#endif
    return m_lock.create(2, QSharedMemory::ReadWrite);
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

#pragma once

#include "platform/OtherSound.h"

#include <QObject>
#include <QPointer>
#include <QVector>

class CHook;
class QQuickView;

// Locks the desktop to the classroom ("cppLockScreen"): the main view over
// the whole screen, the lock companion started, the switching keys
// swallowed, other programs' sound muted, the taskbar preview off. The
// companion watches this process and undoes the mute should it end while
// locked. Process-wide, GUI thread only.
class LockScreen : public QObject
{
    Q_OBJECT
public:
    static LockScreen *instance();
    explicit LockScreen(QObject *parent = nullptr);
    ~LockScreen() override;

    void setMainView(QQuickView *view);

    Q_INVOKABLE void startLock();
    Q_INVOKABLE void stopLock();
    Q_INVOKABLE bool getIsLockScreen();

    // The file naming the muted streams while locked, for the companion.
    static QString recordPath();
    // The companion's name, without the system's extension.
    static constexpr char kCompanion[] = "lumira_lock";

signals:
    void sgLock();
    void sgUnLock();

private:
    void placeOverScreen();
    void raiseOwnWindows();
    void muteOthers();
    void unmuteOthers();

    QPointer<QQuickView> m_view;
    CHook *m_hook = nullptr; // child
    bool m_locked = false;
    QVector<lumira::platform::PlaybackStream> m_muted;
};

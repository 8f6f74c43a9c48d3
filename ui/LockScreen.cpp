#include "ui/LockScreen.h"

#include "app/DirHelper.h"
#include "app/TSpdlog.h"
#include "platform/AeroPeek.h"
#include "platform/ExecutableName.h"
#include "platform/ProcessTable.h"
#include "ui/CHook.h"
#include "ui/LockRecord.h"
#include "ui/Tools.h"
#include "web/QMLNotify.h"

#include <QFile>
#include <QGuiApplication>
#include <QQuickView>
#include <QScreen>
#include <QWindow>

namespace
{

void logInfo(const QString &text) { TSpdlog::instance()->otherInfo(text); }

// The windows that stay usable while locked: the main view, the popped-out
// video window and a browser in a native window of its own.
const char *const kOwnWindows[] = { "root_cef", "m_videoViewLoader", "root" };

} // namespace

LockScreen *LockScreen::instance()
{
    static LockScreen *self = new LockScreen;
    return self;
}

LockScreen::LockScreen(QObject *parent)
    : QObject(parent)
    , m_hook(new CHook(this))
{
}

LockScreen::~LockScreen() = default;

void LockScreen::setMainView(QQuickView *view) { m_view = view; }

QString LockScreen::recordPath() { return DirHelper::instance()->configPath() + QStringLiteral("/lock_muted.json"); }

bool LockScreen::getIsLockScreen() { return m_locked; }

void LockScreen::startLock()
{
    if (m_locked)
        return;
    // The window remembers its unlocked geometry and flags as it takes the
    // signal, so it goes before the view is stretched.
    m_locked = true;
    emit sgLock();
    placeOverScreen();
    raiseOwnWindows();

    // The companion watches this process: should it end while locked, the
    // companion unmutes what the record names.
    const QString companion = DirHelper::instance()->getAppPath() + QLatin1Char('/')
        + lumira::platform::executableFileName(QString::fromLatin1(kCompanion));
    if (!Tools::startDetached(companion,
            { QStringLiteral("--watch"), QString::number(lumira::platform::currentProcessId()),
                QStringLiteral("--record"), recordPath() }))
        TSpdlog::instance()->otherError(QStringLiteral("lock companion not started: ") + companion);

    if (!m_hook->installHook())
        TSpdlog::instance()->otherWarn(QStringLiteral("lock screen: switching keys not captured"));
    muteOthers();
    if (!lumira::platform::setAeroPeek(false))
        logInfo(QStringLiteral("EnableAeroPeek: no taskbar preview on this system, left alone"));
    QMLNotify::instance()->jsonFromCtoast(QStringLiteral("您的电脑桌面已被锁定为Lumira"), QStringLiteral("info"), 1500);
}

void LockScreen::stopLock()
{
    if (!m_locked)
        return;
    Tools::killProcessByName(lumira::platform::executableFileName(QString::fromLatin1(kCompanion)));
    m_hook->uninstallHook();
    m_locked = false;
    unmuteOthers();
    if (!lumira::platform::setAeroPeek(true))
        logInfo(QStringLiteral("EnableAeroPeek: no taskbar preview on this system, left alone"));
    QMLNotify::instance()->jsonFromCtoast(QStringLiteral("您的电脑桌面已解除锁定"), QStringLiteral("info"), 1500);
    emit sgUnLock();
}

void LockScreen::placeOverScreen()
{
    if (!m_view)
        return;
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect available = Tools::instance()->getAvailableRect();
    // Over the whole screen when nothing (a panel) takes part of it, else
    // over what the panels leave.
    const bool bare = screen->availableGeometry() == screen->geometry();
    const int width = bare ? screen->geometry().width() : available.width();
    const int height = bare ? screen->geometry().height() : available.height();
    m_view->setGeometry(available.x(), available.y(), width, height);
}

// The popped-out video window stays above the stretched main view.
void LockScreen::raiseOwnWindows()
{
    const QWindowList windows = QGuiApplication::topLevelWindows();
    for (const char *name : kOwnWindows) {
        for (QWindow *window : windows)
            if (window != m_view && window->isVisible() && window->objectName() == QLatin1String(name))
                window->raise();
    }
}

void LockScreen::muteOthers()
{
    const qint64 self = lumira::platform::currentProcessId();
    m_muted = lumira::platform::unmutedStreamsOfOthers(self);
    // Recorded before muting: a record naming a stream not yet muted only
    // leads to an unmute of a stream that plays anyway.
    if (!lumira::lockrecord::write(recordPath(), { self, m_muted }))
        TSpdlog::instance()->otherError(QStringLiteral("lock record not written: ") + recordPath());
    const int muted = lumira::platform::setStreamsMuted(m_muted, true);
    logInfo(QStringLiteral("lock screen: muted %1 of %2 streams").arg(muted).arg(m_muted.size()));
}

void LockScreen::unmuteOthers()
{
    const int unmuted = lumira::platform::setStreamsMuted(m_muted, false);
    logInfo(QStringLiteral("lock screen: unmuted %1 of %2 streams").arg(unmuted).arg(m_muted.size()));
    m_muted.clear();
    QFile::remove(recordPath());
}

#include "ui/CHook.h"

#include "platform/KeyboardLock.h"

CHook::CHook(QObject *parent)
    : QObject(parent)
    , m_keys(std::make_unique<lumira::platform::KeyboardLock>())
{
}

CHook::~CHook() = default;

bool CHook::installHook() { return m_keys->engage(); }
void CHook::uninstallHook() { m_keys->release(); }
bool CHook::isInstalled() const { return m_keys->engaged(); }

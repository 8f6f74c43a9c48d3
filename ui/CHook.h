#pragma once

#include <QObject>

#include <memory>

namespace lumira::platform
{
class KeyboardLock;
}

// Owns the desktop-wide capture of the keys that switch away from the
// window (Alt+Tab, Alt+Esc, Alt+F4, Ctrl+Esc, Ctrl+Shift+Esc, the Windows keys).
class CHook : public QObject
{
    Q_OBJECT
public:
    explicit CHook(QObject *parent = nullptr);
    ~CHook() override;

    bool installHook();
    void uninstallHook();
    bool isInstalled() const;

private:
    std::unique_ptr<lumira::platform::KeyboardLock> m_keys;
};

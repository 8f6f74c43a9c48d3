#include "platform/AeroPeek.h"

#include <QSettings>

namespace lumira::platform
{

bool setAeroPeek(bool enabled)
{
    QSettings dwm(QStringLiteral("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\DWM"), QSettings::NativeFormat);
    dwm.setValue(QStringLiteral("EnableAeroPeek"), enabled ? 1 : 0);
    dwm.sync();
    return dwm.status() == QSettings::NoError;
}

} // namespace lumira::platform

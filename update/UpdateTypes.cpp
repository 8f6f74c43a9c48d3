#include "update/UpdateTypes.h"

#include "update/H5DownloadHelper.h"

#include <QQmlEngine>

namespace lumira
{

void registerUpdateTypes()
{
    qmlRegisterSingletonType<H5DownloadHelper>(
        "H5DownloadHelper", 1, 0, "H5DownloadHelper", [](QQmlEngine *, QJSEngine *) -> QObject * {
            // QML must never take ownership of the process-wide instance.
            H5DownloadHelper *helper = H5DownloadHelper::instance();
            QQmlEngine::setObjectOwnership(helper, QQmlEngine::CppOwnership);
            return helper;
        });
}

} // namespace lumira

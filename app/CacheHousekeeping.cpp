#include "app/CacheHousekeeping.h"

#include "app/DirHelper.h"
#include "app/LMRConfig.h"
#include "app/TSpdlog.h"
#include "net/HttpMsg.h"
#include "ui/Tools.h"

#include <QDir>
#include <QUrl>

QString CacheHousekeeping::fetchGuid(const QString &mainUrl)
{
    const QUrl page(mainUrl);
    if (!page.isValid() || page.scheme().isEmpty())
        return QString();
    const QString base = page.resolved(QUrl(QStringLiteral("."))).toString(QUrl::RemoveQuery | QUrl::RemoveFragment);
    return HttpMsg::instance()->get(QStringLiteral("libs/guid.txt"), base).trimmed();
}

void CacheHousekeeping::run(LMRConfig &config, const DirHelper &dirs, const GuidFetcher &fetchGuid)
{
    TSpdlog *log = TSpdlog::instance();
    const QString guid = fetchGuid ? fetchGuid() : QString();
    if (guid != config.getH5Guid()) {
        if (Tools::removePath(dirs.cefCachePath() + QStringLiteral("/Cache")))
            log->otherInfo(QStringLiteral("清理H5缓存成功"));
        else
            log->otherError(QStringLiteral("清理H5缓存失败"));
        config.setH5Guid(guid);
    }

    const QString appData = dirs.getAppData();
    if (config.getClearBrowserFlag()) {
        if (Tools::removePath(dirs.cefCachePath())) {
            log->otherInfo(QStringLiteral("清理缓存成功"));
            config.setClearBrowserStatus(false);
        } else {
            log->otherError(QStringLiteral("清理缓存失败"));
        }
        Tools::removePath(appData + QStringLiteral("/cache"));
    }

    if (QDir(appData + QStringLiteral("/QtWebEngine")).exists()) {
        Tools::removePath(appData + QStringLiteral("/cache"));
        Tools::removePath(appData + QStringLiteral("/QtWebEngine"));
    }
}

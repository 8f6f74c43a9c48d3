#include "app/CacheHousekeeping.h"

#include "app/DirHelper.h"
#include "app/LMRConfig.h"
#include "app/TSpdlog.h"
#include "net/HttpMsg.h"
#include "ui/Tools.h"

#include <QDir>
#include <QPointer>
#include <QUrl>

#include <memory>
#include <optional>

CacheHousekeeping::GuidFetcher CacheHousekeeping::askGuid(const QString &mainUrl)
{
    const QUrl page(mainUrl);
    if (!page.isValid() || page.scheme().isEmpty())
        return [] { return QString(); };
    const QString base = page.resolved(QUrl(QStringLiteral("."))).toString(QUrl::RemoveQuery | QUrl::RemoveFragment);
    HttpMsg *http = HttpMsg::instance();
    QPointer<HttpCall> call = http->getAsync(QStringLiteral("libs/guid.txt"), http->timeoutMs(), base);
    // Kept apart from the call, which deletes itself once it has answered.
    auto answer = std::make_shared<std::optional<QString>>();
    QObject::connect(call, &HttpCall::done, call, [call, answer] { *answer = call->answer().body.trimmed(); });
    return [call, answer]() {
        if (!answer->has_value() && call)
            call->wait();
        return answer->value_or(QString());
    };
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

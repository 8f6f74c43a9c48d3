#include "diag/TSpdlogUpload.h"

#include "BuildConfig.h"
#include "app/DirHelper.h"
#include "app/LMRConfig.h"
#include "app/TSpdlog.h"
#include "diag/TimeSetting.h"
#include "net/LMRAosController.h"
#include "ui/Tools.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QRegularExpression>

#include <JlCompress.h>

TSpdlogUpload *TSpdlogUpload::instance()
{
    static auto *upload = new TSpdlogUpload(LMRAosController::instance(), [] { return TimeSetting::instance(); });
    return upload;
}

TSpdlogUpload::TSpdlogUpload(LMRAosController *aos, std::function<TimeSetting *()> clock, QObject *parent)
    : QObject(parent)
    , m_aos(aos)
    , m_clock(std::move(clock))
{
}

QString TSpdlogUpload::objectKey(const QDate &date, const QString &userId)
{
    return QStringLiteral("lumiraLogs/") + date.toString(QStringLiteral("yyyy-MM-dd")) + QLatin1Char('/') + userId
        + QLatin1Char('_') + QString::fromLatin1(lumira::build::kVersion) + QStringLiteral(".zip");
}

void TSpdlogUpload::uploadLogZip()
{
    const QString userId = LMRConfig::instance()->getUserID();
    if (userId == QLatin1String("0"))
        return;
    // The id names a folder that is emptied first: a settings file edited
    // by hand must not point that at the data root or outside it.
    if (!QRegularExpression(QStringLiteral("^[A-Za-z0-9_-]{1,64}$")).match(userId).hasMatch()) {
        TSpdlog::instance()->otherError(
            QStringLiteral("log upload refused: user id is not a plain name: "), userId.left(80));
        return;
    }
    // One archive at a time: a second one would empty the folder the first
    // is being sent from. It follows when the first has ended.
    if (m_uploading) {
        m_pending = true;
        return;
    }
    TimeSetting *clock = m_clock();
    TSpdlog::instance()->otherInfo(clock->status());
    TSpdlog::flushAll();
    const QString zip = createLogZip(userId, false);
    const QDateTime now = clock->currentTime();
    if (zip.isEmpty())
        return;
    m_uploading = true;
    m_aos->uploadFile(kComId, QStringLiteral("false"), kBucket, objectKey(now.date(), userId), zip, false);
}

QStringList TSpdlogUpload::collectLogSources(bool crash) const
{
    DirHelper *dirs = DirHelper::instance();
    QStringList sources { dirs->configPath(), dirs->dbPath() };
    if (crash)
        sources << dirs->dumpPath();
    const QDate today = QDate::currentDate();
    const QString compact = today.toString(QStringLiteral("yyyyMMdd"));
    const QString dashed = today.toString(QStringLiteral("yyyy-MM-dd"));
    const QDir logs(dirs->logPath());
    QDirIterator walk(logs.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (walk.hasNext()) {
        const QString path = walk.next();
        // Judged inside the log folder: a data root under /media must not
        // hide every log.
        const QString inside = logs.relativeFilePath(path);
        if (!inside.contains(QLatin1String("media")) && (inside.contains(compact) || inside.contains(dashed)))
            sources << path;
    }
    return sources;
}

bool TSpdlogUpload::verifyZip(const QString &zip, const QString &checkDir)
{
    const QStringList files = JlCompress::extractDir(zip, checkDir);
    bool anyFile = false;
    for (const QString &file : files)
        anyFile = anyFile || QFileInfo(file).isFile();
    if (!anyFile)
        TSpdlog::instance()->otherError(QStringLiteral("log archive does not verify, not uploaded: ") + zip);
    return anyFile;
}

QString TSpdlogUpload::createLogZip(const QString &name, bool crash)
{
    const QStringList sources = collectLogSources(crash);
    DirHelper *dirs = DirHelper::instance();
    m_zipDir = dirs->getAppData() + QLatin1Char('/') + name + (crash ? QStringLiteral("_CreshLog") : QString());
    Tools::removePath(m_zipDir);
    const QString zip = m_zipDir + QLatin1Char('/') + name + QStringLiteral(".zip");
    const QDir logs(dirs->logPath());
    for (const QString &source : sources) {
        const QFileInfo info(source);
        if (info.isDir()) {
            Tools::copyDirectory(source, m_zipDir + QLatin1Char('/') + info.fileName());
        } else if (info.isFile()) {
            // Log files keep their place below the log folder.
            const QString target = m_zipDir + QLatin1Char('/') + logs.relativeFilePath(source);
            QDir().mkpath(QFileInfo(target).path());
            QFile::copy(source, target);
        }
    }
    if (!QFileInfo(m_zipDir).isDir()) {
        TSpdlog::instance()->otherError(QStringLiteral("log archive: nothing to pack"));
        return QString();
    }
    // The archive lies inside the folder it packs; the packer leaves it out.
    if (!JlCompress::compressDir(zip, m_zipDir, true)) {
        TSpdlog::instance()->otherError(QStringLiteral("log archive cannot be written: ") + zip);
        return QString();
    }
    if (!verifyZip(zip, m_zipDir + QStringLiteral("/test")))
        return QString();
    return zip;
}

void TSpdlogUpload::onAosEffect(QString com_id, QString effect)
{
    if (com_id == kComId) {
        m_uploading = false;
        if (!effect.isEmpty())
            Tools::removePath(m_zipDir);
        else
            TSpdlog::instance()->otherError(QStringLiteral("log archive upload failed, kept in ") + m_zipDir);
        if (m_pending) {
            m_pending = false;
            uploadLogZip();
        }
    } else if (com_id == kCrashComId && !effect.isEmpty()) {
        Tools::removePath(m_zipDir);
        if (!m_crashZip.isEmpty())
            QFile::remove(m_crashZip);
    }
}

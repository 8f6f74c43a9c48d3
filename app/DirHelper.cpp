#include "app/DirHelper.h"

#include "app/TSpdlog.h"
#include "platform/FileUrl.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <cstdlib>

namespace
{

const char kStoreKey[] = "LMR_APP_DATA";
const char kNone[] = "none";

QSettings rootStore() { return QSettings(QSettings::NativeFormat, QSettings::UserScope, "kestrelon", "lumira"); }

[[noreturn]] void fatal(const QString &label) { TSpdlog::fatalExit(QStringLiteral("Fatal:create dir error ") + label); }

// Creates `name` inside `parent` when absent; fatal when that fails.
void ensureChild(const QString &parent, const QString &name, const QString &label)
{
    QDir dir(parent);
    if (dir.exists(name))
        return;
    if (!dir.mkdir(name) && !dir.exists(name))
        fatal(label);
}

} // namespace

DirHelper::DirHelper()
{
    const QString stored = storedRoot();
    if (stored == QLatin1String(kNone)) {
        m_root = platformDefaultRoot();
        storeRoot(m_root);
    } else {
        m_root = stored;
    }
    createDirectories();
}

DirHelper::~DirHelper() = default;

DirHelper *DirHelper::instance()
{
    static DirHelper *self = new DirHelper; // lives for the process
    return self;
}

QString DirHelper::platformDefaultRoot() { return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation); }

QString DirHelper::storedRoot() const
{
    // An empty value (a hand-edited store, an interrupted write) would make the
    // working directory the data root: treat it as never set.
    const QString value = rootStore().value(kStoreKey, QString::fromLatin1(kNone)).toString();
    return value.trimmed().isEmpty() ? QString::fromLatin1(kNone) : value;
}

void DirHelper::storeRoot(const QString &root)
{
    QSettings store = rootStore();
    store.setValue(kStoreKey, root);
    store.sync();
}

bool DirHelper::prepareRoot(const QString &root)
{
    if (!QDir().mkpath(root) || !QFileInfo(root).isDir())
        return false;
    const QString children[] = { QStringLiteral("log"), QStringLiteral("log/media"), QStringLiteral("log/trtc"),
        QStringLiteral("log/agora"), QStringLiteral("config"), QStringLiteral("record"), QStringLiteral("dump"),
        QStringLiteral("db"), QStringLiteral("download"), QStringLiteral("cefCache") };
    QDir dir(root);
    for (const QString &child : children) {
        if (!dir.mkpath(child))
            return false;
    }
    // Permission bits say nothing about read-only mounts or ACLs: write a file
    // where the recordings and the status table will go.
    for (const QString &child : { QStringLiteral("record"), QStringLiteral("db") }) {
        QTemporaryFile probe(dir.filePath(child) + QStringLiteral("/.lumira-probe-XXXXXX"));
        if (!probe.open() || probe.write("probe", 5) != 5 || !probe.flush())
            return false;
    }
    return true;
}

void DirHelper::createDirectories()
{
    const QString root = getAppData();
    if (!QDir(root).exists() && !QDir().mkpath(root))
        fatal(QStringLiteral("main path"));
    if (!QDir(root).exists())
        fatal(QStringLiteral("av path"));
    ensureChild(root, QStringLiteral("log"), QStringLiteral("log path"));
    for (const char *sub : { "media", "trtc", "agora" })
        ensureChild(logPath(), QString::fromLatin1(sub), QStringLiteral("log media path"));
    const std::pair<const char *, const char *> children[] = {
        { "config", "config path" },
        { "record", "record path" },
        { "dump", "dump path" },
        { "db", "db path" },
        { "download", "download path" },
        { "cefCache", "cefCache path" },
    };
    for (const auto &[name, label] : children)
        ensureChild(root, QString::fromLatin1(name), QString::fromLatin1(label));
}

QString DirHelper::under(const QString &a, const QString &b) const
{
    QString p = getAppData() + QLatin1Char('/') + a;
    if (!b.isEmpty())
        p += QLatin1Char('/') + b;
    return p;
}

QString DirHelper::configPath() const { return under(QStringLiteral("config")); }
QString DirHelper::logPath() const { return under(QStringLiteral("log")); }
QString DirHelper::logPathWithMedia() const { return under(QStringLiteral("log"), QStringLiteral("media")); }
QString DirHelper::logPathWithTRtc() const { return under(QStringLiteral("log"), QStringLiteral("trtc")); }
QString DirHelper::logPathWithAgora() const { return under(QStringLiteral("log"), QStringLiteral("agora")); }
QString DirHelper::dumpPath() const { return under(QStringLiteral("dump")); }
QString DirHelper::recordPath() const { return under(QStringLiteral("record")); }
QString DirHelper::dbPath() const { return under(QStringLiteral("db")); }
QString DirHelper::downloadPath() const { return under(QStringLiteral("download")); }
QString DirHelper::updatePath() const { return under(QStringLiteral("update")); }
QString DirHelper::cefCachePath() const { return under(QStringLiteral("cefCache")); }
QString DirHelper::getAppPath() const { return QCoreApplication::applicationDirPath(); }
QString DirHelper::macResourcesPath() const { return getAppPath(); }

QString DirHelper::getAppData() const
{
    QReadLocker lock(&m_lock);
    return m_root;
}

QString DirHelper::getCurrentDirPath() const { return getAppData(); }

QString DirHelper::rootForPickedFolder(const QString &picked)
{
    const QString path = lumira::platform::stripFileUrlPrefix(picked);
    static const QRegularExpression chinese(QStringLiteral("[\\x{4e00}-\\x{9fa5}]+"));
    if (chinese.match(path).hasMatch())
        return QString();
    return path + QStringLiteral("/lumira");
}

bool DirHelper::changeDirPath(QString path)
{
    const QString newRoot = rootForPickedFolder(path);
    if (newRoot.isEmpty())
        return false;
    if (newRoot == getAppData())
        return true;
    // Storing first and creating afterwards would make a folder that cannot be
    // created fatal at this and at every later start: the new root is made
    // and tried out before anything is stored.
    if (!prepareRoot(newRoot)) {
        TSpdlog::instance()->otherError(QStringLiteral("change dir error ") + newRoot);
        return false;
    }
    storeRoot(newRoot);
    {
        QWriteLocker lock(&m_lock);
        m_root = storedRoot();
    }
    createDirectories();
    return true;
}

void DirHelper::resetMainPath()
{
    const QString root = platformDefaultRoot();
    storeRoot(root);
    {
        QWriteLocker lock(&m_lock);
        m_root = root;
    }
    createDirectories();
}

#include "app/LMRConfig.h"

#include "BuildConfig.h"
#include "app/DirHelper.h"
#include "app/TSpdlog.h"

#include <QDebug>
#include <QMutexLocker>
#include <QRegularExpression>

#include <QLoggingCategory>
#include <vector>

namespace
{
// Developer traces, off unless QT_LOGGING_RULES turns "lumira.config.debug" on.
Q_LOGGING_CATEGORY(lcConfig, "lumira.config", QtInfoMsg)
} // namespace

namespace
{

QString versionText() { return QString::fromLatin1(lumira::build::kVersion); }

} // namespace

LMRConfig::LMRConfig(const QString &iniPath, QObject *parent)
    : QObject(parent)
    , m_settings(iniPath, QSettings::IniFormat)
{
    reportFileStatus(QStringLiteral("read"));
    if (!read("Init/IsInit", false).toBool())
        writeFirstStartValues();
    if (read("Init/Version", QString()).toString() == versionText())
        return;
    write("Init/Version", versionText());
    writeVersionChangeValues();
}

LMRConfig *LMRConfig::instance()
{
    static LMRConfig *self = new LMRConfig(DirHelper::instance()->configPath() + QStringLiteral("/config.ini"));
    return self;
}

QVariant LMRConfig::read(const char *key, const QVariant &fallback)
{
    QMutexLocker lock(&m_mutex);
    return m_settings.value(QLatin1String(key), fallback);
}

void LMRConfig::write(const char *key, const QVariant &value)
{
    QMutexLocker lock(&m_mutex);
    m_settings.setValue(QLatin1String(key), value);
    m_settings.sync();
}

// A broken file reads as empty (every getter gives its default); say so once,
// so that support can tell why settings do not stick.
void LMRConfig::reportFileStatus(const QString &what)
{
    const QSettings::Status status = m_settings.status();
    if (status == QSettings::NoError)
        return;
    TSpdlog::instance()->otherError(
        QStringLiteral("config.ini %1 error (%2): %3")
            .arg(what, status == QSettings::AccessError ? QStringLiteral("access") : QStringLiteral("format"),
                m_settings.fileName()));
}

namespace
{

enum Rule { FirstStart = 1, VersionChange = 2 };

struct KeyRule {
    const char *key;
    QVariant value;
    int rules;
};

// The keys the constructor writes: at first start, at a version change, or both.
const std::vector<KeyRule> &keyRules()
{
    using namespace lumira::build;
    static const std::vector<KeyRule> rules = {
        { "Init/IsInit", true, FirstStart },
        { "Init/Version", versionText(), FirstStart },
        { "Init/H5Guid", QString(), FirstStart },
        { "Init/WebGPURasterization", false, FirstStart | VersionChange },
        { "Init/WebIgnoreBlacklist", false, FirstStart | VersionChange },
        { "Browser/MainUrl", QString::fromLatin1(kMainUrl), FirstStart | VersionChange },
        { "Browser/MainUrlMode", 1, FirstStart },
        { "Browser/MainDebugUrl", QString::fromLatin1(kTestMainUrl), FirstStart | VersionChange },
        { "Browser/MainDebugUrlSwitch", QStringLiteral("false"), FirstStart | VersionChange },
        { "Browser/CDNUrl", QString::fromLatin1(kCdnUrl), FirstStart | VersionChange },
        { "Browser/Port", 40960, FirstStart | VersionChange },
        { "Browser/DebugMode", false, FirstStart | VersionChange },
        { "Browser/ClearData", true, FirstStart | VersionChange },
        { "Browser/Pen", false, FirstStart },
        { "DeviceTest/CameraIndex", -1, FirstStart | VersionChange },
        { "DeviceTest/MicIndex", -1, FirstStart | VersionChange },
        { "DeviceTest/SpeakerIndex", -1, FirstStart | VersionChange },
        { "DeviceTest/CameraTagId", QString(), FirstStart | VersionChange },
        { "DeviceTest/MicTagId", QString(), FirstStart | VersionChange },
        { "DeviceTest/SpeakerTagId", QString(), FirstStart | VersionChange },
        { "DeviceTest/CameraName", QString(), FirstStart | VersionChange },
        { "DeviceTest/MicName", QString(), FirstStart | VersionChange },
        { "DeviceTest/SpeakerName", QString(), FirstStart | VersionChange },
        { "DeviceTest/MicVolumeScale", QStringLiteral("1.0"), FirstStart },
        { "DeviceTest/SpeakerVolumeScale", QStringLiteral("1.0"), FirstStart },
        { "UserSetting/CameraStatus", QString(), FirstStart },
        { "UserSetting/MicStatus", QString(), FirstStart },
        { "UserSetting/SpeakerStatus", QString(), FirstStart },
        { "UserSetting/ProtectedEye", false, FirstStart },
        { "UserSetting/ProtectedEyeValue", 0.3, FirstStart },
        { "UserSetting/Beauty", false, FirstStart },
        { "UserSetting/UserID", QStringLiteral("0"), FirstStart },
        { "UserSetting/UserType", QStringLiteral("null"), FirstStart },
        { "UserSetting/UserName", QStringLiteral("null"), FirstStart },
        { "UserSetting/CoursewareFolder", QString(), FirstStart },
    };
    return rules;
}

} // namespace

void LMRConfig::writeRuleValues(int rule)
{
    QMutexLocker lock(&m_mutex);
    for (const KeyRule &entry : keyRules()) {
        if (entry.rules & rule)
            m_settings.setValue(QLatin1String(entry.key), entry.value);
    }
    m_settings.sync();
    reportFileStatus(QStringLiteral("write"));
}

// Addresses and switches follow the build; device choices are made afresh.
// Preferences are left alone.
void LMRConfig::writeFirstStartValues() { writeRuleValues(FirstStart); }
void LMRConfig::writeVersionChangeValues() { writeRuleValues(VersionChange); }

QString LMRConfig::getH5Guid() { return read("Init/H5Guid", QString()).toString(); }
void LMRConfig::setH5Guid(QString guid) { write("Init/H5Guid", guid); }
bool LMRConfig::getWebGPURasterization() { return read("Init/WebGPURasterization", false).toBool(); }
void LMRConfig::setWebGPURasterization(bool on) { write("Init/WebGPURasterization", on); }
bool LMRConfig::getWebIgnoreBlacklist() { return read("Init/WebIgnoreBlacklist", false).toBool(); }
void LMRConfig::setWebIgnoreBlacklist(bool on) { write("Init/WebIgnoreBlacklist", on); }
bool LMRConfig::getHardwareAcceleration() { return read("Init/HardwareAcceleration", true).toBool(); }
void LMRConfig::setHardwareAcceleration(bool on) { write("Init/HardwareAcceleration", on); }
QString LMRConfig::getQMLRender() { return read("Init/QMLRender", QStringLiteral("GL")).toString(); }
bool LMRConfig::getQMLRenderAuto() { return read("Init/QMLRenderAuto", true).toBool(); }

void LMRConfig::setQMLRender(QString flag)
{
    const bool known = flag == QLatin1String("GL") || flag == QLatin1String("GLES") || flag == QLatin1String("SOFT");
    write("Init/QMLRender", known ? flag : QStringLiteral("GL"));
}

QString LMRConfig::getMainUrl()
{
    const QString mainUrl = read("Browser/MainUrl", QString()).toString();
    if (read("Browser/MainDebugUrlSwitch", false).toString() == QLatin1String("true"))
        return read("Browser/MainDebugUrl", QString()).toString();

    static const QRegularExpression schemeAndHost(QStringLiteral("(http|https)://(\\w+(\\.)?)+"));
    const QString cdn = read("Browser/CDNUrl", QString::fromLatin1(lumira::build::kCdnUrl)).toString();
    auto withCdnHost = [&](QString url) { return url.replace(schemeAndHost, cdn); };
    auto withHttp = [](QString url) { return url.replace(QStringLiteral("https"), QStringLiteral("http")); };

    TSpdlog *log = TSpdlog::instance();
    switch (getMainUrlMode()) {
    case 2:
        log->netInfo(QStringLiteral("EnableUrlCDN,HTTPS"));
        return withCdnHost(mainUrl);
    case 3:
        log->netInfo(QStringLiteral("DisableUrlCDN,HTTP"));
        return withHttp(mainUrl);
    case 4:
        log->netInfo(QStringLiteral("EnableUrlCDN,HTTP"));
        return withHttp(withCdnHost(mainUrl));
    default:
        log->netInfo(QStringLiteral("DisableUrlCDN,HTTPS"));
        return mainUrl;
    }
}

QString LMRConfig::get404Url() { return DirHelper::instance()->getAppPath() + QStringLiteral("/res/html/404.html"); }

QString LMRConfig::getDebugGingUrl() { return QStringLiteral("http://127.0.0.1:%1").arg(getWebDebugPort()); }

int LMRConfig::getMainUrlMode() { return read("Browser/MainUrlMode", 1).toInt(); }
void LMRConfig::setMainUrlMode(int mode) { write("Browser/MainUrlMode", mode); }

void LMRConfig::addMainUrlMode()
{
    const int next = getMainUrlMode() + 1;
    setMainUrlMode(next < 5 ? next : 1);
}

int LMRConfig::getWebDebugPort() { return read("Browser/Port", 40960).toInt(); }
bool LMRConfig::getWebDebugMode() { return read("Browser/DebugMode", false).toBool(); }
bool LMRConfig::getClearBrowserFlag() { return read("Browser/ClearData", false).toBool(); }
void LMRConfig::setClearBrowserStatus(bool on) { write("Browser/ClearData", on); }
bool LMRConfig::getPenFlag() { return read("Browser/Pen", false).toBool(); }
void LMRConfig::setPenFlag(bool on) { write("Browser/Pen", on); }
bool LMRConfig::getHomeFlag() { return read("Browser/Reset", false).toBool(); }
void LMRConfig::setHomeFlag(bool on) { write("Browser/Reset", on); }

int LMRConfig::getCameraIndex() { return read("DeviceTest/CameraIndex", -1).toInt(); }
void LMRConfig::setCameraIndex(int index) { write("DeviceTest/CameraIndex", index); }
int LMRConfig::getMicIndex() { return read("DeviceTest/MicIndex", -1).toInt(); }
void LMRConfig::setMicIndex(int index) { write("DeviceTest/MicIndex", index); }
int LMRConfig::getSpeakerIndex() { return read("DeviceTest/SpeakerIndex", -1).toInt(); }
void LMRConfig::setSpeakerIndex(int index) { write("DeviceTest/SpeakerIndex", index); }
QString LMRConfig::getCameraId() { return read("DeviceTest/CameraTagId", QString()).toString(); }
QString LMRConfig::getMicId() { return read("DeviceTest/MicTagId", QString()).toString(); }
QString LMRConfig::getSpeakerId() { return read("DeviceTest/SpeakerTagId", QString()).toString(); }

void LMRConfig::setCameraId(QString id)
{
    if (id.isEmpty())
        qCDebug(lcConfig) << "警告：警告！！！！！！！！！！！！！！cameraid为空";
    write("DeviceTest/CameraTagId", id);
}

void LMRConfig::setMicId(QString id)
{
    if (id.isEmpty())
        qCDebug(lcConfig) << "警告：警告！！！！！！！！！！！！！！mic id为空";
    write("DeviceTest/MicTagId", id);
}

void LMRConfig::setSpeakerId(QString id)
{
    if (id.isEmpty())
        qCDebug(lcConfig) << "警告：警告！！！！！！！！！！！！！！speakid为空";
    write("DeviceTest/SpeakerTagId", id);
}

QString LMRConfig::getCameraName() { return read("DeviceTest/CameraName", QString()).toString(); }
void LMRConfig::setCameraName(QString name) { write("DeviceTest/CameraName", name); }
QString LMRConfig::getMicName() { return read("DeviceTest/MicName", QString()).toString(); }
void LMRConfig::setMicName(QString name) { write("DeviceTest/MicName", name); }
QString LMRConfig::getSpeakerName() { return read("DeviceTest/SpeakerName", QString()).toString(); }
void LMRConfig::setSpeakerName(QString name) { write("DeviceTest/SpeakerName", name); }
QString LMRConfig::getMicVolumeScale() { return read("DeviceTest/MicVolumeScale", QStringLiteral("1.0")).toString(); }
void LMRConfig::setMicVolumeScale(QString number) { write("DeviceTest/MicVolumeScale", number); }
QString LMRConfig::getSpeakerVolumeScale()
{
    return read("DeviceTest/SpeakerVolumeScale", QStringLiteral("1.0")).toString();
}
void LMRConfig::setSpeakerVolumeScale(QString number) { write("DeviceTest/SpeakerVolumeScale", number); }

QString LMRConfig::existNecessaryDevice()
{
    QString missing;
    if (getMicId().isEmpty())
        missing += QStringLiteral("NoMic");
    if (getSpeakerId().isEmpty())
        missing += QStringLiteral("NoSpeaker");
    return missing;
}

QString LMRConfig::getLastCameraStatus() { return read("UserSetting/CameraStatus", QString()).toString(); }
void LMRConfig::setLastCameraStatus(QString flag) { write("UserSetting/CameraStatus", flag); }
QString LMRConfig::getLastMicStatus() { return read("UserSetting/MicStatus", QString()).toString(); }
void LMRConfig::setLastMicStatus(QString flag) { write("UserSetting/MicStatus", flag); }
QString LMRConfig::getLastSpeakerStatus() { return read("UserSetting/SpeakerStatus", QString()).toString(); }
void LMRConfig::setLastSpeakerStatus(QString flag) { write("UserSetting/SpeakerStatus", flag); }
bool LMRConfig::getProtectedEye() { return read("UserSetting/ProtectedEye", false).toBool(); }
void LMRConfig::setProtectedEye(bool on) { write("UserSetting/ProtectedEye", on); }
double LMRConfig::getProtectedEyeValue() { return read("UserSetting/ProtectedEyeValue", 0.3).toDouble(); }
void LMRConfig::setProtectedEyeValue(double value) { write("UserSetting/ProtectedEyeValue", value); }
bool LMRConfig::getBeauty() { return read("UserSetting/Beauty", false).toBool(); }
void LMRConfig::setBeauty(bool on) { write("UserSetting/Beauty", on); }
QString LMRConfig::getUserID() { return read("UserSetting/UserID", QStringLiteral("0")).toString(); }
void LMRConfig::setUserID(QString id) { write("UserSetting/UserID", id); }
QString LMRConfig::getUserType() { return read("UserSetting/UserType", QStringLiteral("null")).toString(); }
void LMRConfig::setUserType(QString type) { write("UserSetting/UserType", type); }
void LMRConfig::setUserNmae(QString name) { write("UserSetting/UserName", name); }
QString LMRConfig::getCoursewareFolder() { return read("UserSetting/CoursewareFolder", QString()).toString(); }
void LMRConfig::setCoursewareFolder(QString file) { write("UserSetting/CoursewareFolder", file); }

double LMRConfig::getDpiRate() { return 1.0; }
QString LMRConfig::getVersion() { return versionText(); }
QString LMRConfig::getFaqUrl() const { return QString::fromLatin1(lumira::build::kFaqUrl); }

bool LMRConfig::getIsOpenUrl() { return m_isOpenUrl.load(); }
void LMRConfig::setIsOpenUrl(bool flag) { m_isOpenUrl.store(flag); }
bool LMRConfig::isMimi() { return m_mini.load(); }
void LMRConfig::setMini(bool mini) { m_mini.store(mini); }

quint64 LMRConfig::getSystemRAM() { return read("System/RAM", 0).toULongLong(); }

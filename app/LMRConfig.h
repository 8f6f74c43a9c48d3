#pragma once

#include <QMutex>
#include <QObject>
#include <QSettings>
#include <QString>

#include <atomic>

// The only persistent settings store: "config.ini" in the config directory
// ("cppConfigFile"). Every getter reads the file and every setter writes it at
// once; nothing is cached here.
class LMRConfig : public QObject
{
    Q_OBJECT
public:
    // Opens `iniPath` and applies the first-start and version-change rules.
    explicit LMRConfig(const QString &iniPath, QObject *parent = nullptr);
    static LMRConfig *instance();

    Q_INVOKABLE QString getH5Guid();
    Q_INVOKABLE void setH5Guid(QString guid);
    Q_INVOKABLE bool getWebGPURasterization();
    Q_INVOKABLE void setWebGPURasterization(bool on);
    Q_INVOKABLE bool getWebIgnoreBlacklist();
    Q_INVOKABLE void setWebIgnoreBlacklist(bool on);
    Q_INVOKABLE bool getHardwareAcceleration();
    Q_INVOKABLE void setHardwareAcceleration(bool on);
    Q_INVOKABLE QString getQMLRender();
    Q_INVOKABLE void setQMLRender(QString flag);
    Q_INVOKABLE bool getQMLRenderAuto();

    Q_INVOKABLE QString getMainUrl();
    Q_INVOKABLE QString get404Url();
    Q_INVOKABLE QString getDebugGingUrl();
    Q_INVOKABLE int getMainUrlMode();
    Q_INVOKABLE void setMainUrlMode(int mode);
    Q_INVOKABLE void addMainUrlMode();
    Q_INVOKABLE int getWebDebugPort();
    Q_INVOKABLE bool getWebDebugMode();
    Q_INVOKABLE bool getClearBrowserFlag();
    Q_INVOKABLE void setClearBrowserStatus(bool on);
    Q_INVOKABLE bool getPenFlag();
    Q_INVOKABLE void setPenFlag(bool on);
    Q_INVOKABLE bool getHomeFlag();
    Q_INVOKABLE void setHomeFlag(bool on);

    Q_INVOKABLE int getCameraIndex();
    Q_INVOKABLE void setCameraIndex(int index);
    Q_INVOKABLE int getMicIndex();
    Q_INVOKABLE void setMicIndex(int index);
    Q_INVOKABLE int getSpeakerIndex();
    Q_INVOKABLE void setSpeakerIndex(int index);
    Q_INVOKABLE QString getCameraId();
    Q_INVOKABLE void setCameraId(QString id);
    Q_INVOKABLE QString getMicId();
    Q_INVOKABLE void setMicId(QString id);
    Q_INVOKABLE QString getSpeakerId();
    Q_INVOKABLE void setSpeakerId(QString id);
    Q_INVOKABLE QString getCameraName();
    Q_INVOKABLE void setCameraName(QString name);
    Q_INVOKABLE QString getMicName();
    Q_INVOKABLE void setMicName(QString name);
    Q_INVOKABLE QString getSpeakerName();
    Q_INVOKABLE void setSpeakerName(QString name);
    Q_INVOKABLE QString getMicVolumeScale();
    Q_INVOKABLE void setMicVolumeScale(QString number);
    Q_INVOKABLE QString getSpeakerVolumeScale();
    Q_INVOKABLE void setSpeakerVolumeScale(QString number);
    Q_INVOKABLE QString existNecessaryDevice();

    Q_INVOKABLE QString getLastCameraStatus();
    Q_INVOKABLE void setLastCameraStatus(QString flag);
    Q_INVOKABLE QString getLastMicStatus();
    Q_INVOKABLE void setLastMicStatus(QString flag);
    Q_INVOKABLE QString getLastSpeakerStatus();
    Q_INVOKABLE void setLastSpeakerStatus(QString flag);
    Q_INVOKABLE bool getProtectedEye();
    Q_INVOKABLE void setProtectedEye(bool on);
    Q_INVOKABLE double getProtectedEyeValue();
    Q_INVOKABLE void setProtectedEyeValue(double value);
    Q_INVOKABLE bool getBeauty();
    Q_INVOKABLE void setBeauty(bool on);
    Q_INVOKABLE QString getUserID();
    Q_INVOKABLE void setUserID(QString id);
    Q_INVOKABLE QString getUserType();
    Q_INVOKABLE void setUserType(QString type);
    Q_INVOKABLE void setUserNmae(QString name);
    Q_INVOKABLE QString getCoursewareFolder();
    Q_INVOKABLE void setCoursewareFolder(QString file);

    Q_INVOKABLE quint64 getSystemRAM();
    Q_INVOKABLE double getDpiRate();
    Q_INVOKABLE QString getVersion();
    Q_INVOKABLE QString getFaqUrl() const;

    Q_INVOKABLE bool getIsOpenUrl();
    Q_INVOKABLE void setIsOpenUrl(bool flag);
    Q_INVOKABLE bool isMimi();
    Q_INVOKABLE void setMini(bool mini);

    QString fileName() const { return m_settings.fileName(); }
    // For keys the client itself never writes (deployment and test set-ups).
    void setValue(const QString &key, const QVariant &value) { write(key.toUtf8().constData(), value); }

signals:
    void sgAppLoatFocus(bool hasFocus);

private:
    QVariant read(const char *key, const QVariant &fallback);
    void write(const char *key, const QVariant &value);
    void writeFirstStartValues();
    void writeVersionChangeValues();
    void writeRuleValues(int rule);
    void reportFileStatus(const QString &what);

    QMutex m_mutex; // one QSettings object is shared by GUI and worker threads
    QSettings m_settings;
    std::atomic<bool> m_isOpenUrl { false };
    std::atomic<bool> m_mini { false };
};

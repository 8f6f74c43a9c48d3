#pragma once

#include <QJsonArray>
#include <QObject>
#include <QString>

// The native side's vocabulary towards the page and QML ("cppNotify"): builds
// the notification texts and emits them; holds no state.
class QMLNotify : public QObject
{
    Q_OBJECT
public:
    explicit QMLNotify(QObject *parent = nullptr);
    static QMLNotify *instance();

    Q_INVOKABLE QString callH5_jsNotifyMicStatus(bool flag);
    Q_INVOKABLE QString callH5_jsNotifySpeakerStatus(bool flag);
    Q_INVOKABLE QString callH5_jsNotifyCameraStatus(bool flag);
    Q_INVOKABLE QString callH5_jsVideoHeightWidth(int height, int width);
    Q_INVOKABLE QString callH5_quitClassRoom();
    Q_INVOKABLE QString callH5_jsDeviceOpenProblem();
    Q_INVOKABLE QString callH5_jsDateTime();
    Q_INVOKABLE QString callH5_jsGoOutClassRomm();
    Q_INVOKABLE QString callH5_H5downloadState(QString state);
    Q_INVOKABLE QString callH5_jsDelay(int audioTransportDelay, int audioLastmileDelay, int boardDelay);
    Q_INVOKABLE QString callH5_jsSetting(QString key, bool flag);

    QString callH5_jsFunScreen(QString value);
    QString callH5_jsTransferAudioURL(QString first, QString second);
    QString callH5_jsUploadProcessNotify(QString token, QString state, QString value);

    Q_INVOKABLE void triggerSgNotifyH5(QString json);
    Q_INVOKABLE void jsonFromCtoast(QString msg, QString mode = QStringLiteral("info"), int time = 1500);

    Q_INVOKABLE QString jsonSystemInfo();
    Q_INVOKABLE void jsonScreenshot();
    Q_INVOKABLE void jsonUploadLogZip();
    Q_INVOKABLE void jsonAppCheck();
    Q_INVOKABLE void jsonAppUpdate() { }
    Q_INVOKABLE int getServerDelay();
    Q_INVOKABLE qlonglong getTotalMemory();
    Q_INVOKABLE qlonglong getAvaliMemory();
    Q_INVOKABLE bool quitUploadingDialog();

    // The indented {"func", "param"} text the page dispatcher understands.
    static QString notification(const char *func, const QJsonArray &param);

signals:
    void sgNotifyQML(QString json);
    void sgNotifyH5(QString json);
};

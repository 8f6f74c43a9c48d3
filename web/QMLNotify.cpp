#include "web/QMLNotify.h"

#include "record/AudioDataDispatcherController.h"

#include "app/LMRConfig.h"
#include "app/TSpdlog.h"
#include "diag/NetworkTestController.h"
#include "diag/ScreenshotController.h"
#include "diag/SystemReport.h"
#include "diag/TSpdlogUpload.h"
#include "ui/uploadProgressDialog.h"
#include "update/LMRUpdate.h"
#include "web/LMRUserInfo.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace
{
QString onOff(bool flag) { return flag ? QStringLiteral("ON") : QStringLiteral("OFF"); }
} // namespace

QMLNotify::QMLNotify(QObject *parent)
    : QObject(parent)
{
}

QMLNotify *QMLNotify::instance()
{
    static QMLNotify *notify = new QMLNotify();
    return notify;
}

QString QMLNotify::notification(const char *func, const QJsonArray &param)
{
    QJsonObject obj;
    obj.insert(QStringLiteral("func"), QString::fromUtf8(func));
    obj.insert(QStringLiteral("param"), param);
    return QString::fromUtf8(QJsonDocument(obj).toJson());
}

QString QMLNotify::callH5_jsNotifyMicStatus(bool flag)
{
    return notification("jsDeviceStatusNotify", { onOff(flag), QStringLiteral("mic") });
}

QString QMLNotify::callH5_jsNotifySpeakerStatus(bool flag)
{
    return notification("jsDeviceStatusNotify", { onOff(flag), QStringLiteral("speaker") });
}

QString QMLNotify::callH5_jsNotifyCameraStatus(bool flag)
{
    return notification("jsDeviceStatusNotify", { onOff(flag), QStringLiteral("camera") });
}

QString QMLNotify::callH5_jsVideoHeightWidth(int height, int width)
{
    QJsonArray param { height };
    if (width > 0)
        param.append(width);
    return notification("jsVideoHeight", param);
}

QString QMLNotify::callH5_quitClassRoom() { return notification("jsQuitRoomNotify", { QString() }); }
QString QMLNotify::callH5_jsDeviceOpenProblem() { return notification("jsDeviceOpenProblem", { QString() }); }
QString QMLNotify::callH5_jsDateTime() { return notification("jsDateTime", { QString() }); }
QString QMLNotify::callH5_jsGoOutClassRomm() { return notification("goOutClassRoom", { QString() }); }
QString QMLNotify::callH5_H5downloadState(QString state) { return notification("h5DownloadState", { state }); }

QString QMLNotify::callH5_jsDelay(int audioTransportDelay, int audioLastmileDelay, int boardDelay)
{
    return notification("jsFunPingTcp", { audioTransportDelay, audioLastmileDelay, boardDelay });
}

QString QMLNotify::callH5_jsSetting(QString key, bool flag)
{
    QJsonObject obj;
    obj.insert(key, flag);
    return QStringLiteral("jsFunCtrl(") + QString::fromUtf8(QJsonDocument(obj).toJson()) + QStringLiteral(")");
}

QString QMLNotify::callH5_jsFunScreen(QString value) { return notification("jsFunScreen", { value }); }

QString QMLNotify::callH5_jsTransferAudioURL(QString first, QString second)
{
    return notification("jsTransferAudioURL", { second, first });
}

QString QMLNotify::callH5_jsUploadProcessNotify(QString token, QString state, QString value)
{
    return notification("jsUploadProcessNotify", { state, value, token });
}

void QMLNotify::triggerSgNotifyH5(QString json) { emit sgNotifyH5(json); }

void QMLNotify::jsonFromCtoast(QString msg, QString mode, int time)
{
    emit sgNotifyH5(notification("fromCtoast", { msg, mode, time }));
}

QString QMLNotify::jsonSystemInfo() { return SystemReport::instance()->jsonSystemInfo(); }

void QMLNotify::jsonScreenshot()
{
    const LMRUserInfo::UserRole role = LMRUserInfo::instance()->getInnerClassUserRole();
    if (role != LMRUserInfo::UserRole_Teacher && role != LMRUserInfo::UserRole_Student)
        return;
    emit ScreenshotController::instance()->onAllScreenshotSignal();
}

void QMLNotify::jsonUploadLogZip() { TSpdlogUpload::instance()->uploadLogZip(); }

void QMLNotify::jsonAppCheck() { LMRUpdate::instance()->check(); }

int QMLNotify::getServerDelay() { return NetworkTestController::instance()->httpPingMs(); }

qlonglong QMLNotify::getTotalMemory()
{
    const quint64 configured = LMRConfig::instance()->getSystemRAM();
    if (configured != 0)
        return qlonglong(configured);
    return SystemReport::instance()->memoryFigures().value(QStringLiteral("SystemPhysicalTotalRAM"));
}

qlonglong QMLNotify::getAvaliMemory()
{
    return SystemReport::instance()->memoryFigures().value(QStringLiteral("SystemPhysicalAvailRAM"));
}

bool QMLNotify::quitUploadingDialog()
{
    uploadProgressDialog dialog(nullptr);
    if (AudioDataDispatcherController *recorder = AudioDataDispatcherController::instance())
        dialog.connectSource(recorder);
    dialog.exec();
    return true;
}

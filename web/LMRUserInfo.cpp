#include "web/LMRUserInfo.h"

#include "app/TSpdlog.h"

#include <QDebug>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>

namespace
{
// Developer traces, off unless QT_LOGGING_RULES turns "lumira.user.debug" on.
Q_LOGGING_CATEGORY(lcUser, "lumira.user", QtInfoMsg)
} // namespace

namespace
{

[[noreturn]] void fatal(const char *what)
{
    TSpdlog::fatalExit(
        QStringLiteral("Fatal:") + QStringLiteral("error") + QStringLiteral(" ") + QString::fromLatin1(what));
}

} // namespace

LMRUserInfo::LMRUserInfo(QObject *parent)
    : QObject(parent)
{
}

LMRUserInfo *LMRUserInfo::instance()
{
    static LMRUserInfo *info = new LMRUserInfo();
    return info;
}

LMRUserInfo::UserRole LMRUserInfo::roleFromText(const QString &text, const char *what)
{
    if (text == QLatin1String("teacher"))
        return UserRole_Teacher;
    if (text == QLatin1String("student"))
        return UserRole_Student;
    if (text == QLatin1String("jiaowu"))
        return UserRole_Assistant;
    fatal(what);
}

void LMRUserInfo::setUserInfo(QString type, QString userId, QString userName, QString userToken)
{
    m_userRole = roleFromText(type, "role error");
    m_userId = userId;
    m_userName = userName;
    m_userToken = userToken;
}

void LMRUserInfo::setClassRoomInfo(QString info)
{
    const QJsonObject obj = QJsonDocument::fromJson(info.toUtf8()).object();
    m_classToken = obj.value(QStringLiteral("token")).toString();
    m_className = obj.value(QStringLiteral("classname")).toString();
    m_innerClassUserRole = roleFromText(obj.value(QStringLiteral("cls_user_type")).toString(), "role error");
    switch (obj.value(QStringLiteral("cls_category")).toInt()) {
    case 1:
    case 2:
    case 3:
    case 4:
        m_classType = ClassType_1V1;
        break;
    case 5:
        m_classType = ClassType_MiniClass;
        break;
    case 6:
        m_classType = ClassType_TrainingClass;
        break;
    default:
        TSpdlog::instance()->otherError(QStringLiteral("fatal class type unknow"));
        m_classType = ClassType_Unknow;
    }
    setJoinClassInfo(obj.value(QStringLiteral("users")).toArray());
}

void LMRUserInfo::setJoinClassInfo(QJsonArray array)
{
    m_students.clear();
    m_teachers.clear();
    m_assistants.clear();
    for (const QJsonValue &value : array) {
        const QJsonObject member = value.toObject();
        const QString role = member.value(QStringLiteral("role")).toString();
        if (role == QLatin1String("student"))
            m_students.append(member.toVariantMap());
        else if (role == QLatin1String("teacher"))
            m_teachers.append(member.toVariantMap());
        else if (role == QLatin1String("jiaowu"))
            m_assistants.append(member.toVariantMap());
        else
            fatal("role json error");
    }
}

void LMRUserInfo::resetClassUserInfo()
{
    m_innerClassUserRole = UserRole_Unknow;
    m_useMediaType = MediaType_Unknow;
    m_classType = ClassType_Unknow;
    m_teachers.clear();
    m_students.clear();
    m_assistants.clear();
}

QString LMRUserInfo::firstOf(const QVariantList &members)
{
    const QJsonObject first = members.isEmpty() ? QJsonObject() : QJsonObject::fromVariantMap(members.first().toMap());
    return QString::fromUtf8(QJsonDocument(first).toJson());
}

QString LMRUserInfo::allOf(const QVariantList &members)
{
    return QString::fromUtf8(QJsonDocument(QJsonArray::fromVariantList(members)).toJson());
}

QString LMRUserInfo::getUserMediaTypeString() const
{
    switch (m_useMediaType) {
    case MediaType_ILive:
        return QStringLiteral("ilive");
    case MediaType_Agora:
        return QStringLiteral("agora");
    case MediaType_TRtc:
        return QStringLiteral("trtc");
    case MediaType_ZgRtc:
        return QStringLiteral("zgrtc");
    default:
        return QStringLiteral("unknow");
    }
}

void LMRUserInfo::setAgoraInfo(QString key, QString name, QString uid)
{
    m_agoraKey = key;
    m_agoraChannelName = name;
    m_agoraUid = uid;
}

void LMRUserInfo::setTRtcInfo(QString sig, int roomid, QString uid)
{
    m_trtcSig = sig;
    m_trtcRoomid = roomid;
    m_trtcUid = uid;
}

void LMRUserInfo::setZgRtcUsernameAndUserId(QString usrName, QString userId)
{
    m_zgRtcUserName = usrName;
    m_zgRtcUserId = userId;
}

void LMRUserInfo::setZgRtcRoomId(QString roomid)
{
    qCDebug(lcUser) << "setZgRtcRoomId" << roomid;
    m_zgRtcRoomId = roomid;
}

void LMRUserInfo::setILiveUserAndPass(QString user, QString pass)
{
    m_iliveUser = user;
    m_ilivePass = pass;
}

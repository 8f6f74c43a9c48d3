#pragma once

#include <QJsonArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantList>

// What the client knows about the signed-in user and the class attended
// ("LMRUserInfo" in QML). The page supplies all of it; GUI thread only.
class LMRUserInfo : public QObject
{
    Q_OBJECT
public:
    enum UserRole { UserRole_Unknow = 0, UserRole_Teacher = 1, UserRole_Student = 2, UserRole_Assistant = 3 };
    Q_ENUM(UserRole)
    enum ClassType {
        ClassType_Unknow = 0,
        ClassType_1V1 = 1,
        ClassType_MiniClass = 5,
        ClassType_TrainingClass = 6,
        ClassType_1VN = 7
    };
    Q_ENUM(ClassType)
    enum MediaType {
        MediaType_Unknow = 0,
        MediaType_ILive = 1,
        MediaType_Agora = 2,
        MediaType_TRtc = 3,
        MediaType_ZgRtc = 4
    };
    Q_ENUM(MediaType)

    explicit LMRUserInfo(QObject *parent = nullptr);
    static LMRUserInfo *instance();

    Q_INVOKABLE void setUserInfo(QString type, QString userId, QString userName, QString userToken);
    Q_INVOKABLE UserRole userRole() const { return m_userRole; }
    Q_INVOKABLE QString userId() const { return m_userId; }
    Q_INVOKABLE QString userName() const { return m_userName; }
    Q_INVOKABLE QString userToken() const { return m_userToken; }

    Q_INVOKABLE void setClassRoomInfo(QString info);
    Q_INVOKABLE void setJoinClassInfo(QJsonArray array);
    Q_INVOKABLE QString classToken() const { return m_classToken; }
    Q_INVOKABLE QString className() const { return m_className; }
    Q_INVOKABLE UserRole getInnerClassUserRole() const { return m_innerClassUserRole; }
    Q_INVOKABLE ClassType getClassType() const { return m_classType; }
    Q_INVOKABLE bool isInClassRooom() const { return m_innerClassUserRole != UserRole_Unknow; }
    Q_INVOKABLE void resetClassUserInfo();
    Q_INVOKABLE void setCourseToken(QString token) { m_courseToken = token; }
    Q_INVOKABLE QString getCourseToken() const { return m_courseToken; }
    Q_INVOKABLE void setIsAttendClass(bool flag) { m_isAttendClass = flag; }
    Q_INVOKABLE bool getIsAttendClass() const { return m_isAttendClass; }
    Q_INVOKABLE void setIsInClassRoom(bool flag) { m_isInClassRoom = flag; }
    Q_INVOKABLE bool getIsInClassRoom() const { return m_isInClassRoom; }

    // Callers ask only when such a member exists; an empty list gives "{}".
    Q_INVOKABLE QString get1V1TeacherInfo() const { return firstOf(m_teachers); }
    Q_INVOKABLE QString get1V1StudentInfo() const { return firstOf(m_students); }
    Q_INVOKABLE QString get1V1AssistantInfo() const { return firstOf(m_assistants); }
    Q_INVOKABLE QString get1VNTeacherInfo() const { return allOf(m_teachers); }
    Q_INVOKABLE QString get1VNStudentInfo() const { return allOf(m_students); }
    Q_INVOKABLE QString get1VNAssistantInfo() const { return allOf(m_assistants); }

    Q_INVOKABLE void setUseMediaType(MediaType role) { m_useMediaType = role; }
    Q_INVOKABLE MediaType getUseMediaType() const { return m_useMediaType; }
    Q_INVOKABLE QString getUserMediaTypeString() const;
    Q_INVOKABLE bool getIsEnterILive() const { return m_useMediaType == MediaType_ILive; }
    Q_INVOKABLE bool getIsEnterAgora() const { return m_useMediaType == MediaType_Agora; }
    Q_INVOKABLE bool getIsEnterTRtc() const { return m_useMediaType == MediaType_TRtc; }
    Q_INVOKABLE bool getIsEnterZgRtc() const { return m_useMediaType == MediaType_ZgRtc; }
    Q_INVOKABLE bool getIsEnterUnknow() const { return m_useMediaType == MediaType_Unknow; }

    Q_INVOKABLE void setAgoraInfo(QString key, QString name, QString uid);
    Q_INVOKABLE QString getAgoraKey() const { return m_agoraKey; }
    Q_INVOKABLE QString getAgoraChannelName() const { return m_agoraChannelName; }
    Q_INVOKABLE QString getAgoraUid() const { return m_agoraUid; }
    Q_INVOKABLE void setTRtcInfo(QString sig, int roomid, QString uid);
    Q_INVOKABLE QString getTRtcSig() const { return m_trtcSig; }
    Q_INVOKABLE int getTRtcRoomid() const { return m_trtcRoomid; }
    Q_INVOKABLE QString getTRtcUid() const { return m_trtcUid; }
    Q_INVOKABLE void setZgRtcUsernameAndUserId(QString usrName, QString userId);
    Q_INVOKABLE void setZgRtcRoomId(QString roomid);
    Q_INVOKABLE QString getZgRtcUserName() const { return m_zgRtcUserName; }
    Q_INVOKABLE QString getZgRtcUserID() const { return m_zgRtcUserId; }
    Q_INVOKABLE QString getZgRtcRoomId() const { return m_zgRtcRoomId; }
    Q_INVOKABLE void setILiveUserAndPass(QString user, QString pass);
    Q_INVOKABLE void setILiveRoomId(int roomid) { m_iliveRoomId = roomid; }
    Q_INVOKABLE QStringList getILiveUserInfo() const { return { m_iliveUser, m_ilivePass }; }
    Q_INVOKABLE QString getILiveUserSelf() const { return m_iliveUser; }
    Q_INVOKABLE QString getILiveUserPass() const { return m_ilivePass; }
    Q_INVOKABLE int getILiveRoomId() const { return m_iliveRoomId; }

    // Role text to role; any other text ends the process.
    static UserRole roleFromText(const QString &text, const char *what);

private:
    static QString firstOf(const QVariantList &members);
    static QString allOf(const QVariantList &members);

    UserRole m_userRole = UserRole_Unknow;
    QString m_userId = QStringLiteral("0");
    QString m_userName;
    QString m_userToken;
    QString m_courseToken;
    QString m_classToken;
    QString m_className;
    UserRole m_innerClassUserRole = UserRole_Unknow;
    ClassType m_classType = ClassType_Unknow;
    QVariantList m_teachers;
    QVariantList m_students;
    QVariantList m_assistants;
    bool m_isAttendClass = false;
    bool m_isInClassRoom = false;
    MediaType m_useMediaType = MediaType_Unknow;
    QString m_agoraKey;
    QString m_agoraChannelName;
    QString m_agoraUid;
    QString m_iliveUser;
    QString m_ilivePass;
    int m_iliveRoomId = 0;
    QString m_trtcSig;
    QString m_trtcUid;
    int m_trtcRoomid = 0;
    QString m_zgRtcUserName;
    QString m_zgRtcUserId;
    QString m_zgRtcRoomId;
};

#pragma once

#include <QHash>
#include <QMap>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QWaitCondition>

#include <atomic>

struct MsgRecord {
    QString id;
    QString request;
    QString msg;
};

class LMRMsgId;

// Offers the queued page messages one at a time, from its own thread.
class LMRMsgIdConsumer : public QObject
{
    Q_OBJECT
public:
    explicit LMRMsgIdConsumer(LMRMsgId *registry);

signals:
    void sgGetMsgId(QString key, QString id, QString request, QString msg);

public slots:
    void consumption();

private:
    LMRMsgId *m_registry;
};

// Registry of the page requests that must be handled one at a time ("LMRMsgId"
// in QML), and of the replies parked until a later event.
class LMRMsgId : public QObject
{
    Q_OBJECT
public:
    // `waitMs` bounds every wait of the consumer; the client uses 3000.
    explicit LMRMsgId(int waitMs = 3000, QObject *parent = nullptr);
    ~LMRMsgId() override;
    static LMRMsgId *instance();

    Q_INVOKABLE void addMessage(QString key, QString id, QString request, QString msg);
    Q_INVOKABLE void completedMessage(QString key);
    Q_INVOKABLE bool addCallBackMessage(QString key, QString id, QString request, QString msg);
    Q_INVOKABLE bool hasCallBackMessage(QString key);
    Q_INVOKABLE QString getCallBackMessageID(QString key);
    Q_INVOKABLE QString getCallBackMessageRequest(QString key);
    Q_INVOKABLE QString getCallBackMessageMsg(QString key);
    Q_INVOKABLE void completedCallBackMessage(QString key);

    Q_INVOKABLE QString id_user_info() { return QStringLiteral("user://"); }
    Q_INVOKABLE QString id_open_device() { return QStringLiteral("module_device_test://"); }
    Q_INVOKABLE QString id_system_info() { return QStringLiteral("system_info://"); }
    Q_INVOKABLE QString id_js_log_write() { return QStringLiteral("js_log_write://"); }
    Q_INVOKABLE QString id_join_classroom() { return QStringLiteral("joinclassroom://"); }
    Q_INVOKABLE QString id_quit_classroom() { return QStringLiteral("quitclassroom://"); }
    Q_INVOKABLE QString id_user_viewer() { return QStringLiteral("user_viewer://"); }
    Q_INVOKABLE QString id_capture_image() { return QStringLiteral("capture_image://"); }
    Q_INVOKABLE QString id_trtc_voiceRoomLogout() { return QStringLiteral("trtc://VoiceRoomLogout"); }
    Q_INVOKABLE QString id_qcloud_voiceRoomLogout() { return QStringLiteral("qcloud://VoiceRoomLogout"); }
    Q_INVOKABLE QString id_agora_voiceRoomLogout() { return QStringLiteral("agora://VoiceRoomLogout"); }
    Q_INVOKABLE QString id_zego_voiceRoomLogout() { return QStringLiteral("zego://VoiceRoomLogout"); }
    Q_INVOKABLE QString id_trtc_voiceRoomLogin() { return QStringLiteral("trtc://VoiceRoomLogin"); }
    Q_INVOKABLE QString id_qcloud_voiceRoomLogin() { return QStringLiteral("qcloud://VoiceRoomLogin"); }
    Q_INVOKABLE QString id_agora_voiceRoomLogin() { return QStringLiteral("agora://VoiceRoomLogin"); }
    Q_INVOKABLE QString id_zego_voiceRoomLogin() { return QStringLiteral("zego://VoiceRoomLogin"); }

    // Queued keys, head first (for diagnostics and tests).
    QStringList queuedKeys();

signals:
    void sgConsumption();
    void sgGetMsgId(QString key, QString id, QString request, QString msg);

public slots:
    void getMsgId(QString key, QString id, QString request, QString msg);

private:
    friend class LMRMsgIdConsumer;
    MsgRecord callbackRecord(const QString &key);
    // The consumer's bounded waits; called with the matching mutex held.
    void waitForQueue(quint64 seen);
    void waitForCallbacks();

    const int m_waitMs;
    QStringList m_messageKeys;
    QMap<QString, MsgRecord> m_messages;
    QMutex m_queueMutex;
    QWaitCondition m_queueCondition;
    QHash<QString, MsgRecord> m_callbacks;
    QMutex m_callbackMutex;
    QWaitCondition m_callbackCondition;
    std::atomic<bool> m_stopConsumer { false };
    // Bumped with every wake-up, so that one sent while the consumer was not
    // yet waiting is not lost: it then skips the wait instead.
    quint64 m_queueGeneration = 0; // under m_queueMutex
    quint64 m_callbackGeneration = 0; // under m_callbackMutex
    QThread m_thread;
};

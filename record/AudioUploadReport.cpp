#include "record/AudioUploadReport.h"

#include "app/TSpdlog.h"
#include "net/HttpMsg.h"
#include "record/LMRRecordSQLite.h"

#include <QJsonDocument>
#include <QJsonObject>

AudioUploadReport::AudioUploadReport(HttpMsg *http, LMRRecordSQLite *db, QString token, QString user, QString role,
    QString url, int timeoutMs, QObject *parent)
    : QObject(parent)
    , m_http(http)
    , m_db(db)
    , m_token(std::move(token))
    , m_user(std::move(user))
    , m_url(std::move(url))
    , m_timeoutMs(timeoutMs)
{
    m_body = (QStringLiteral("lesson_token=") + m_token + QStringLiteral("&sound_url=") + m_url
        + QStringLiteral("&user_role=") + role + QStringLiteral("&user_id=") + m_user + QStringLiteral("&isUpload=1"))
                 .toUtf8();
}

AudioUploadReport::~AudioUploadReport()
{
    if (m_call)
        m_call->cancel();
    // The client goes back to its regular host even when a report is dropped.
    if (m_hostSwitched && m_http)
        m_http->switchHost(m_http->debugMode ? 2 : 0);
}

void AudioUploadReport::start()
{
    if (!m_http) {
        finish();
        return;
    }
    attempt();
}

void AudioUploadReport::attempt()
{
    if (m_attempt == 1 && !m_http->debugMode) {
        m_http->switchHost(1);
        m_hostSwitched = true;
    }
    m_call = m_http->postAsync(QStringLiteral("doc/upload/sound"), m_body, m_timeoutMs);
    connect(m_call, &HttpCall::done, this, &AudioUploadReport::onAnswer);
}

void AudioUploadReport::onAnswer()
{
    const HttpAnswer answer = m_call->answer();
    m_call = nullptr; // it deletes itself
    TSpdlog *log = TSpdlog::instance();
    bool accepted = false;
    if (answer.timedOut) {
        log->netError(
            QStringLiteral("音频录制: 音频上传后台回调超时(%1ms)，地址未记录，稍后自动重新上传 token:").arg(m_timeoutMs)
            + m_token);
    } else {
        log->netInfo(QStringLiteral("音频录制: 音频上传后台回调：") + answer.body);
        const QJsonObject reply = QJsonDocument::fromJson(answer.body.toUtf8()).object();
        accepted = reply.value(QStringLiteral("retcode")).toVariant().toInt() == 1;
    }
    if (accepted) {
        RecordStatusChange uploaded;
        uploaded.upload = m_url;
        m_db->update(m_token, m_user, uploaded);
    }
    if (!accepted && ++m_attempt < 2) {
        attempt();
        return;
    }
    finish();
}

void AudioUploadReport::finish()
{
    if (m_http) {
        m_http->switchHost(m_http->debugMode ? 2 : 0);
        m_hostSwitched = false;
    }
    emit sgReportDone(m_token);
}

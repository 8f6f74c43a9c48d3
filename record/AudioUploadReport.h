#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

class HttpCall;
class HttpMsg;
class LMRRecordSQLite;

// One report to the service of where an uploaded recording is
// ("doc/upload/sound"): on the regular API host, then once more on the
// alternative one, and the row marked uploaded when the service accepts.
// Never waits: the answers come back through the event loop, and
// sgReportDone(token) follows every report whatever became of it. A report
// that is not accepted leaves the row's address unset, so the recording is
// found again by the automatic upload.
// Lives on the HTTP client's thread, the GUI thread.
class AudioUploadReport : public QObject
{
    Q_OBJECT
public:
    // Per attempt. A service that takes the report and never answers must
    // not hold up the uploads queued behind it, nor keep up the upload flag
    // (quitting waits for it) for long; a healthy service answers in well
    // under a second. Two attempts: at most twice this per recording.
    static constexpr int kReportTimeoutMs = 15000;

    AudioUploadReport(HttpMsg *http, LMRRecordSQLite *db, QString token, QString user, QString role, QString url,
        int timeoutMs = kReportTimeoutMs, QObject *parent = nullptr);
    ~AudioUploadReport() override; // an unfinished report is dropped, without sgReportDone

    void start();

signals:
    void sgReportDone(QString token);

private:
    void attempt();
    void onAnswer();
    void finish();

    QPointer<HttpMsg> m_http;
    LMRRecordSQLite *m_db;
    QString m_token, m_user, m_url;
    QByteArray m_body;
    int m_timeoutMs;
    int m_attempt = 0;
    bool m_hostSwitched = false;
    QPointer<HttpCall> m_call;
};

#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QSslConfiguration>
#include <QString>
#include <QStringList>
#include <QTimer>

class QNetworkAccessManager;
class QNetworkReply;

// What one request came to.
struct HttpAnswer {
    QString body; // whatever arrived, decoded as UTF-8; usually empty on failure
    int status = 0; // HTTP status, 0 when none arrived
    bool ok = false; // a reply without a network or HTTP error
    bool timedOut = false;
    QString error; // the network error, empty when ok
};

// How the client checks the service's certificates.
struct HttpTls {
    // PEM file of roots trusted beside the system's, e.g. the development
    // service's own certificate; empty: the system's roots only.
    QString extraCaFile;
    // No certificate checks at all: only for a deployment that must talk to
    // a server with a broken certificate, and logged as such.
    bool relaxed = false;
    static HttpTls fromBuild();
};

// One request in flight. Emits done() exactly once, on its thread: answered,
// failed or timed out. cancel() ends it without done(). With auto-delete on,
// it deletes itself after done() or cancel().
class HttpCall : public QObject
{
    Q_OBJECT
public:
    HttpCall(QNetworkReply *reply, int timeoutMs, QObject *parent = nullptr);
    ~HttpCall() override;

    bool isDone() const { return m_done; }
    // Waits for done() in a nested event loop (user input held back); returns
    // at once when the call has already ended.
    void wait();
    const HttpAnswer &answer() const { return m_answer; }
    void cancel();
    void setAutoDelete(bool on) { m_autoDelete = on; }

signals:
    void done();

private:
    void finish();
    void abortQuietly();

    QPointer<QNetworkReply> m_reply;
    QTimer m_deadline;
    HttpAnswer m_answer;
    bool m_done = false;
    bool m_autoDelete = false;
};

// Client of the service API: one GET or form POST per call. get() and post()
// wait for the answer in a nested event loop (start-up uses them before the
// main loop runs); postAsync() does not wait and is what anything running on
// a live GUI must use. Every request has a time-out; failures are logged.
class HttpMsg : public QObject
{
    Q_OBJECT
public:
    // A service that accepts a request and never answers must not hold a
    // caller for longer than a person would wait for a button to react.
    static constexpr int kRequestTimeoutMs = 15000;

    static HttpMsg *instance();
    // Starts reading the system's root certificates on a worker, so that a
    // deployment with an extra root (which must name the system's in full)
    // does not wait a tenth of a second for them at its first request. Call
    // once, early; without it they are read when the client is made.
    static void prefetchSystemRoots();
    // Reads the debug switch from `iniPath` (the settings file). `hosts` are
    // the production, alternative and test API hosts; empty: the build's.
    explicit HttpMsg(const QString &iniPath, QStringList hosts = QStringList(), QObject *parent = nullptr);

    QString get(QString path, QString base = QString());
    QString post(QString path, QByteArray body, QString base = QString());
    // Starts a form POST and returns at once; the caller keeps the call
    // (it deletes itself after done()). On the client's own thread only.
    HttpCall *postAsync(const QString &path, const QByteArray &body, int timeoutMs, const QString &base = QString());
    // The same for a GET.
    HttpCall *getAsync(const QString &path, int timeoutMs, const QString &base = QString());
    void switchHost(int selector);

    void setTimeoutMs(int ms) { m_timeoutMs = ms; }
    int timeoutMs() const { return m_timeoutMs; }
    void setTls(const HttpTls &tls);

    bool debugMode = false;

    QString currentBaseUrl() const { return m_baseUrl; }
    bool currentUseHttps() const { return m_useHttps; }

private:
    enum class Verb { Get, Post };
    QString send(Verb verb, const QString &path, const QByteArray &body, const QString &base);
    QNetworkReply *start(
        QNetworkAccessManager &manager, Verb verb, const QString &path, const QByteArray &body, const QString &base);

    QStringList m_hosts;
    QString m_baseUrl;
    bool m_useHttps = true;
    int m_timeoutMs = kRequestTimeoutMs;
    QSslConfiguration m_ssl; // for every HTTPS request
    QNetworkAccessManager *m_manager = nullptr; // postAsync's, made on first use
};

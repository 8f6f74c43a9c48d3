#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

// Small blocking client for the service API: one GET or form POST per call,
// answered in a nested event loop. No time-out and no error report: callers
// judge the body.
class HttpMsg : public QObject
{
    Q_OBJECT
public:
    static HttpMsg *instance();
    // Reads the debug switch from `iniPath` (the settings file). `hosts` are
    // the production, alternative and test API hosts; empty: the build's.
    explicit HttpMsg(const QString &iniPath, QStringList hosts = QStringList(), QObject *parent = nullptr);

    QString get(QString path, QString base = QString());
    QString post(QString path, QByteArray body, QString base = QString());
    void switchHost(int selector);

    bool debugMode = false;

    QString currentBaseUrl() const { return m_baseUrl; }
    bool currentUseHttps() const { return m_useHttps; }

private:
    enum class Verb { Get, Post };
    QString send(Verb verb, const QString &path, const QByteArray &body, const QString &base);

    QStringList m_hosts;
    QString m_baseUrl;
    bool m_useHttps = true;
};

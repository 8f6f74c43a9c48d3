#pragma once

#include "net/LMRAosInterface.h"

#include <QDate>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class LMRAosController;
class TimeSetting;

// Today's logs with the settings and database folders, zipped and uploaded
// for support: at the end of start-up and when the page leaves a class.
// Runs on the GUI thread; only the transfer itself runs on a storage worker.
class TSpdlogUpload : public QObject, public LMRAosInterface
{
    Q_OBJECT
public:
    static inline const QString kBucket = QStringLiteral("lumira-pc-files");
    static inline const QString kComId = QStringLiteral("LogZipUpload");
    static inline const QString kCrashComId = QStringLiteral("CreshLogZipUpload");

    static TSpdlogUpload *instance();
    // `clock` is asked for the network time at the first upload.
    TSpdlogUpload(LMRAosController *aos, std::function<TimeSetting *()> clock, QObject *parent = nullptr);

    void uploadLogZip();
    QString createLogZip(const QString &name, bool crash);
    QStringList collectLogSources(bool crash) const;

    void onAosProgress(QString, qlonglong) override { }
    void onAosEffect(QString com_id, QString effect) override;

    QString zipDir() const { return m_zipDir; }
    bool uploading() const { return m_uploading; }

    // "lumiraLogs/<yyyy-MM-dd>/<user>_<version>.zip"
    static QString objectKey(const QDate &date, const QString &userId);
    // Whether `zip` unpacks into `checkDir` with at least one file; logged when not.
    static bool verifyZip(const QString &zip, const QString &checkDir);

private:
    LMRAosController *m_aos = nullptr;
    std::function<TimeSetting *()> m_clock;
    QString m_zipDir;
    QString m_crashZip;
    bool m_uploading = false;
    bool m_pending = false;
};

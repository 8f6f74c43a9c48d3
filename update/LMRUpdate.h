#pragma once

#include "net/LMRAosInterface.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

class HttpMsg;
class LMRAosController;
class UpdateDownloadDialog;

// Where the update comes from: the deployment's values, or a test's.
struct LMRUpdateSettings {
    QString apiBase; // empty: the HTTP client's own API host
    QString packageHost; // removed from "download_url" to name the object
    QString bucket = QStringLiteral("lumira-files");
    QString clientVersion;
    // Raw 32-byte Ed25519 key; empty: packages are opened unchecked.
    QByteArray publicKey;
    bool checkSignature = false; // a key was configured (even a malformed one)
    static LMRUpdateSettings fromBuild();
};

// Asks the service whether a newer client exists, keeps the answer,
// downloads the installer package in the background and shows the update
// dialog. One process-wide instance; GUI thread only (object-storage results
// arrive here through the controller, on the GUI thread).
class LMRUpdate : public QObject, public LMRAosInterface
{
    Q_OBJECT
public:
    static constexpr int kResultInstall = 10;
    static constexpr int kResultLater = 11;
    enum Page { PageUpdate = 0, PageLatest = 1, PageDownload = 2 };

    static LMRUpdate *instance();
    LMRUpdate(LMRUpdateSettings settings, HttpMsg *http, LMRAosController *aos, QObject *parent = nullptr);
    ~LMRUpdate() override;

    // "5.0.10" is not newer than "5.0.6": the versions compare as plain text.
    static bool isNewer(const QString &offered, const QString &current);

    // Fetches and evaluates the service's answer (synchronously).
    void request();
    // Takes the service's answer as the request does.
    void evaluate(const QString &body);
    // The page a check shows; fetches the answer first while none is stored.
    Page pageToShow();
    // The same from what is stored, without asking.
    Page pageToShowNow() const;
    // Start-up: the dialog only when an update is to be installed; its
    // result, 0 without a dialog.
    int checkAtStartup();
    // The page's check: the dialog on any of its pages. It never blocks:
    // without a stored answer, the dialog comes when the answer does.
    Q_INVOKABLE void check();
    // Starts the package download (the dialog's download button sets
    // showDownload first). A download already running is not started twice.
    void downloadPackage();

    // Whether the package at localPath may be opened. With a key configured
    // it must carry a valid signature; a package that does not is deleted.
    bool packageTrusted();
    void removePackage();

    QString content() const { return m_content; }
    QString versionName() const { return m_versionName; }
    QString downloadUrl() const { return m_downloadUrl; }
    bool updateAvailable() const { return m_updateAvailable; }
    QString message() const { return m_message; }
    QString localPath() const { return m_localPath; }
    QString signaturePath() const { return m_localPath + QStringLiteral(".sig"); }
    bool showDownload() const { return m_showDownload; }
    void setShowDownload(bool on) { m_showDownload = on; }
    bool downloading() const { return m_downloading; }
    QString clientVersion() const { return m_settings.clientVersion; }
    UpdateDownloadDialog *openDialog() const;

    void onAosProgress(QString progress_com_id, qlonglong progress) override;
    void onAosEffect(QString com_id, QString effect) override;

signals:
    void progressUpdate(int);
    void downFinished();
    void sigQuitApp();
    // The downloaded or stored package failed its signature check and is gone.
    void verificationFailed();
    // A download ended without the package (the dialog stays as it is).
    void downloadFailed();

private:
    QString objectName() const;
    void startTransfer(const QString &comId, const QString &object, const QString &target);
    void downloadEnded();

    LMRUpdateSettings m_settings;
    HttpMsg *m_http;
    LMRAosController *m_aos;
    QString m_content;
    QString m_versionName;
    QString m_downloadUrl;
    bool m_updateAvailable = false;
    QString m_message;
    QString m_localPath;
    bool m_showDownload = false;
    bool m_downloading = false;
    void showCheckDialog(Page page);

    QPointer<UpdateDownloadDialog> m_dialog; // the page's dialog while open
    bool m_asking = false; // the page's check waits for an answer
};

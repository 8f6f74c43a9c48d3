#include "update/LMRUpdate.h"

#include "BuildConfig.h"
#include "app/DirHelper.h"
#include "app/LMRConfig.h"
#include "app/TSpdlog.h"
#include "net/HttpMsg.h"
#include "net/LMRAosController.h"
#include "update/PackageSignature.h"
#include "update/UpdateDownloadDialog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QUrl>

namespace
{

const QString kAnswerPath = QStringLiteral("lumira/app/app_update?app_id=com.lumira.pc");
const QString kPackageComId = QStringLiteral("PackDownload");
const QString kSignatureComId = QStringLiteral("PackSignature");

TSpdlog *log() { return TSpdlog::instance(); }

// The package lands in the update folder under the last segment of its URL:
// only a plain file name may come from the service, nothing that could
// climb out of the folder or hide as a dot file.
bool plainFileName(const QString &name)
{
    static const QRegularExpression allowed(QStringLiteral("^[A-Za-z0-9][A-Za-z0-9._+-]{0,127}$"));
    return allowed.match(name).hasMatch();
}

} // namespace

LMRUpdateSettings LMRUpdateSettings::fromBuild()
{
    using namespace lumira::build;
    LMRUpdateSettings settings;
    settings.packageHost = QString::fromLatin1(kUpdatePackageHost);
    settings.clientVersion = LMRConfig::instance()->getVersion();
    const QByteArray key = QByteArray(kUpdatePublicKey).trimmed();
    settings.checkSignature = !key.isEmpty();
    settings.publicKey = QByteArray::fromHex(key);
    // Development builds may be pointed at a development service on other
    // ports (the real-binary tests run theirs on free ports).
    if (kDevEnvOverrides)
        settings.apiBase = qEnvironmentVariable("LUMIRA_DEV_UPDATE_API");
    return settings;
}

LMRUpdate *LMRUpdate::instance()
{
    static auto *self
        = new LMRUpdate(LMRUpdateSettings::fromBuild(), HttpMsg::instance(), LMRAosController::instance());
    return self;
}

LMRUpdate::LMRUpdate(LMRUpdateSettings settings, HttpMsg *http, LMRAosController *aos, QObject *parent)
    : QObject(parent)
    , m_settings(std::move(settings))
    , m_http(http)
    , m_aos(aos)
{
    if (m_settings.checkSignature && m_settings.publicKey.size() != 32)
        log()->otherError(QStringLiteral("更新: 配置的公钥无效, 任何安装包都不会被打开"));
}

LMRUpdate::~LMRUpdate()
{
    if (m_aos)
        m_aos->unregisterReceiver(this);
}

bool LMRUpdate::isNewer(const QString &offered, const QString &current) { return offered > current; }

void LMRUpdate::request() { evaluate(m_http->get(kAnswerPath, m_settings.apiBase)); }

void LMRUpdate::evaluate(const QString &body)
{
    const QJsonObject answer = QJsonDocument::fromJson(body.toUtf8()).object();
    if (answer.value(QStringLiteral("retcode")).toVariant().toInt() != 1) {
        log()->netWarn(QStringLiteral("更新: 检查失败, 应答: ") + body.left(200));
        return;
    }
    const QJsonObject data = answer.value(QStringLiteral("data")).toObject();
    const QString url = data.value(QStringLiteral("download_url")).toString();
    const QString fileName = QUrl(url).fileName();
    if (!plainFileName(fileName)) {
        log()->netError(QStringLiteral("更新: 安装包地址无效, 应答不予采用: ") + url.left(200));
        return;
    }
    m_versionName = data.value(QStringLiteral("verson_name")).toString();
    m_content = data.value(QStringLiteral("content")).toString();
    m_downloadUrl = url;
    m_message = QStringLiteral("当前Lumira版本为%1，已是最新版哦!").arg(m_settings.clientVersion);
    m_localPath = DirHelper::instance()->updatePath() + QLatin1Char('/') + fileName;

    if (isNewer(m_versionName, m_settings.clientVersion)) {
        m_updateAvailable = true;
        m_message = QStringLiteral("Lumira %1 已发布,建议您升级到最新版").arg(m_versionName);
        if (!QFileInfo::exists(m_localPath)) {
            log()->otherInfo(QStringLiteral("开始下载安装包"));
            downloadPackage();
        }
    } else if (QFileInfo::exists(m_localPath)) {
        removePackage(); // an old package
    }
}

LMRUpdate::Page LMRUpdate::pageToShow()
{
    if (m_message.isEmpty())
        request();
    return pageToShowNow();
}

LMRUpdate::Page LMRUpdate::pageToShowNow() const
{
    if (!m_updateAvailable)
        return PageLatest;
    return QFileInfo::exists(m_localPath) ? PageUpdate : PageDownload;
}

int LMRUpdate::checkAtStartup()
{
    const Page page = pageToShow();
    if (page == PageLatest)
        return 0;
    UpdateDownloadDialog dialog(this, page);
    return dialog.exec();
}

UpdateDownloadDialog *LMRUpdate::openDialog() const { return m_dialog.data(); }

void LMRUpdate::check()
{
    if (!m_message.isEmpty()) {
        showCheckDialog(pageToShow());
        return;
    }
    // The page's request runs on the live window: the answer is awaited
    // without a nested event loop, and a second click meanwhile asks nothing.
    if (m_asking)
        return;
    m_asking = true;
    HttpCall *call = m_http->getAsync(kAnswerPath, HttpMsg::kRequestTimeoutMs, m_settings.apiBase);
    connect(call, &HttpCall::done, this, [this, call] {
        m_asking = false;
        evaluate(call->answer().body);
        showCheckDialog(pageToShowNow());
    });
}

void LMRUpdate::showCheckDialog(Page page)
{
    // A second request while the dialog is up brings that one forward
    // rather than stacking another on it.
    if (m_dialog) {
        m_dialog->showPage(page);
        m_dialog->raise();
        m_dialog->activateWindow();
        return;
    }
    auto *dialog = new UpdateDownloadDialog(this, page);
    // done() only hides a dialog; it goes once it has ended, whichever way.
    connect(dialog, &QDialog::finished, dialog, &QObject::deleteLater);
    m_dialog = dialog;
    // Modal, but the page's request returns at once instead of running a
    // nested event loop under the dispatcher.
    dialog->open();
    dialog->startAutoAccept();
}

QString LMRUpdate::objectName() const
{
    if (m_settings.packageHost.isEmpty() || !m_downloadUrl.startsWith(m_settings.packageHost))
        return QString();
    const QString name = QUrl::fromPercentEncoding(m_downloadUrl.mid(m_settings.packageHost.size()).toUtf8());
    if (name.isEmpty() || name.startsWith(QLatin1Char('/')) || name.contains(QLatin1Char('\\'))
        || name.contains(QLatin1Char('?')) || name.contains(QLatin1Char('#'))
        || name.split(QLatin1Char('/')).contains(QStringLiteral("..")))
        return QString();
    return name;
}

void LMRUpdate::downloadPackage()
{
    if (m_downloading)
        return;
    const QString object = objectName();
    if (object.isEmpty() || m_localPath.isEmpty()) {
        log()->netError(QStringLiteral("更新: 安装包不在配置的安装包主机上, 不下载: ") + m_downloadUrl.left(200));
        emit downloadFailed();
        return;
    }
    QDir().mkpath(QFileInfo(m_localPath).path()); // made by whoever writes there
    m_downloading = true;
    // The signature first: it is small, and it has to be there when the
    // package arrives and may be opened at once.
    if (m_settings.checkSignature)
        startTransfer(kSignatureComId, object + QStringLiteral(".sig"), signaturePath());
    else
        startTransfer(kPackageComId, object, m_localPath);
}

void LMRUpdate::startTransfer(const QString &comId, const QString &object, const QString &target)
{
    m_aos->registerReceiver(this); // a no-op when registered already
    m_aos->downloadFile(comId, QStringLiteral("true"), m_settings.bucket, object, target);
}

void LMRUpdate::onAosProgress(QString progress_com_id, qlonglong progress)
{
    if (progress_com_id == kPackageComId && m_showDownload)
        emit progressUpdate(int(progress));
}

void LMRUpdate::onAosEffect(QString com_id, QString effect)
{
    if (com_id == kSignatureComId) {
        if (effect == QLatin1String("succeed")) {
            startTransfer(kPackageComId, objectName(), m_localPath);
            return;
        }
        log()->netError(QStringLiteral("更新: 安装包签名下载失败, 不下载安装包"));
        QFile::remove(signaturePath());
        downloadEnded();
        emit verificationFailed();
        return;
    }
    if (com_id != kPackageComId)
        return;
    if (effect != QLatin1String("succeed")) {
        log()->netError(QStringLiteral("更新: 安装包下载失败"));
        downloadEnded();
        emit downloadFailed();
        return;
    }
    log()->otherInfo(QStringLiteral("下载安装包完成且成功"));
    const bool announce = m_showDownload;
    downloadEnded();
    if (!packageTrusted()) {
        emit verificationFailed();
        return;
    }
    if (announce)
        emit downFinished();
}

void LMRUpdate::downloadEnded()
{
    m_downloading = false;
    m_showDownload = false;
}

bool LMRUpdate::packageTrusted()
{
    if (!m_settings.checkSignature)
        return true;
    const lumira::update::SignatureCheck result
        = lumira::update::verifyPackage(m_localPath, signaturePath(), m_settings.publicKey);
    if (result == lumira::update::SignatureCheck::Valid)
        return true;
    log()->otherError(QStringLiteral("更新: 安装包校验失败 (") + lumira::update::describe(result)
        + QStringLiteral("), 已删除: ") + m_localPath);
    removePackage();
    return false;
}

void LMRUpdate::removePackage()
{
    QFile::remove(m_localPath);
    QFile::remove(signaturePath());
}

#include "update/UpdateDownloadDialog.h"

#include "app/TSpdlog.h"
#include "ui/Tools.h"
#include "ui_UpdateDownloadDialog.h"
#include "update/LMRUpdate.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QGraphicsDropShadowEffect>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QUrl>

namespace
{

const char kPrimary[] = "#F26355";
const char kPrimaryHover[] = "#FF7D71";
const char kPrimaryPressed[] = "#D44D44";

QString px(double value) { return QString::number(qRound(value)) + QStringLiteral("px"); }

} // namespace

UpdateDownloadDialog::UpdateDownloadDialog(LMRUpdate *update, int page, QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::UpdateDownloadDialog>())
    , m_update(update)
{
    ui->setupUi(this);
    setWindowTitle(QStringLiteral("版本更新"));
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    const bool translucent = Tools::instance()->isCompositing();
    const double zoom = Tools::instance()->getZoomFactor();
    styleWidgets(zoom, translucent);

    const QString message = update->message();
    const QString latest = message.isEmpty()
        ? ui->lblMessageLatest->text().arg(update->clientVersion()) // no answer from the service
        : message;
    // What the service sends is shown as text, never as markup: no links or
    // images of its choosing in the dialog.
    for (QLabel *label : { ui->lblMessageUpdate, ui->lblMessageLatest, ui->lblMessageDownload })
        label->setTextFormat(Qt::PlainText);
    ui->txtContentUpdate->setOpenLinks(false);
    ui->txtContentDownload->setOpenLinks(false);
    ui->lblMessageUpdate->setText(message);
    ui->lblMessageDownload->setText(message);
    ui->lblMessageLatest->setText(latest);
    ui->txtContentUpdate->setPlainText(update->content());
    ui->txtContentDownload->setPlainText(update->content());
    ui->progressBar->setRange(0, 100);
    ui->progressBar->hide();

    connect(ui->btnClose, &QPushButton::clicked, this, [this] { done(LMRUpdate::kResultLater); });
    connect(ui->btnQ, &QPushButton::clicked, this, [this] { done(LMRUpdate::kResultLater); });
    connect(ui->btnInstall, &QPushButton::clicked, this, &UpdateDownloadDialog::startInstall);
    connect(ui->btnDown, &QPushButton::clicked, this, &UpdateDownloadDialog::onDownPack);
    connect(ui->btnGo, &QPushButton::clicked, this, &UpdateDownloadDialog::onOpenurl);
    connect(update, &LMRUpdate::progressUpdate, this, &UpdateDownloadDialog::onSetProgress);
    connect(update, &LMRUpdate::downFinished, this, &UpdateDownloadDialog::onDownloadFinished);
    connect(update, &LMRUpdate::verificationFailed, this, &UpdateDownloadDialog::onVerificationFailed);
    connect(update, &LMRUpdate::downloadFailed, this, &UpdateDownloadDialog::onDownloadFailed);
    showPage(page);

    const QList<QScreen *> screens = QGuiApplication::screens();
    if (!screens.isEmpty()) {
        const QRect screen = screens.first()->availableGeometry();
        move(screen.center() - rect().center());
    }
}

UpdateDownloadDialog::~UpdateDownloadDialog() = default;

void UpdateDownloadDialog::styleWidgets(double z, bool translucent)
{
    setFixedSize(int(500 * z), int(380 * z));
    const QString primary = QStringLiteral("QPushButton { background-color: %1; color: white; border: none;"
                                           " border-radius: %4; font-size: %5; }"
                                           "QPushButton:hover { background-color: %2; }"
                                           "QPushButton:pressed { background-color: %3; }"
                                           "QPushButton:disabled { background-color: #F7A9A1; }")
                                .arg(QLatin1String(kPrimary), QLatin1String(kPrimaryHover),
                                    QLatin1String(kPrimaryPressed), px(4 * z), px(14 * z));
    const QString secondary = QStringLiteral("QPushButton { background-color: white; color: #333333;"
                                             " border: 1px solid #DDDDDD; border-radius: %1; font-size: %2; }"
                                             "QPushButton:hover { background-color: #F7F7F7; }"
                                             "QPushButton:pressed { background-color: #EEEEEE; }")
                                  .arg(px(4 * z), px(14 * z));
    for (QPushButton *button : { ui->btnInstall, ui->btnDown }) {
        button->setStyleSheet(primary);
        button->setFixedSize(int(110 * z), int(36 * z));
        button->setCursor(Qt::PointingHandCursor);
    }
    for (QPushButton *button : { ui->btnQ, ui->btnGo }) {
        button->setStyleSheet(secondary);
        button->setFixedSize(int(110 * z), int(36 * z));
        button->setCursor(Qt::PointingHandCursor);
    }
    ui->btnClose->setFixedSize(int(28 * z), int(28 * z));
    ui->btnClose->setStyleSheet(QStringLiteral("QPushButton { border: none; background: transparent; color: #999999;"
                                               " font-size: %1; }"
                                               "QPushButton:hover { color: %2; }")
                                    .arg(px(20 * z), QLatin1String(kPrimary)));

    ui->header->setFixedHeight(int(48 * z));
    ui->header->setStyleSheet(QStringLiteral("QWidget#header { border-bottom: 1px solid #EEEEEE; }"));
    ui->headerLayout->setContentsMargins(int(16 * z), 0, int(10 * z), 0);
    ui->headerLayout->setSpacing(int(8 * z));
    ui->lblLogo->setFixedSize(int(26 * z), int(26 * z));
    ui->lblLogo->setStyleSheet(QStringLiteral("background-color: %1; color: white; border-radius: %2;"
                                              " font-weight: bold; font-size: %3;")
                                   .arg(QLatin1String(kPrimary), px(13 * z), px(15 * z)));
    ui->lblTitle->setStyleSheet(QStringLiteral("color: #333333; font-size: %1; font-weight: bold;").arg(px(16 * z)));

    const QString message = QStringLiteral("color: #333333; font-size: %1;").arg(px(15 * z));
    for (QLabel *label : { ui->lblMessageUpdate, ui->lblMessageLatest, ui->lblMessageDownload })
        label->setStyleSheet(message);
    const QString notes = QStringLiteral("QTextBrowser { border: 1px solid #EEEEEE; border-radius: %1;"
                                         " background: #FAFAFA; color: #666666; font-size: %2; padding: %3; }")
                              .arg(px(4 * z), px(13 * z), px(6 * z));
    ui->txtContentUpdate->setStyleSheet(notes);
    ui->txtContentDownload->setStyleSheet(notes);
    ui->progressBar->setFixedHeight(int(8 * z));
    ui->progressBar->setStyleSheet(
        QStringLiteral("QProgressBar { border: none; border-radius: %1; background: #EEEEEE; }"
                       "QProgressBar::chunk { border-radius: %1; background-color: %2; }")
            .arg(px(4 * z), QLatin1String(kPrimary)));
    for (QLayout *layout : { ui->pageUpdateLayout, ui->pageLatestLayout, ui->pageDownloadLayout }) {
        layout->setContentsMargins(int(24 * z), int(16 * z), int(24 * z), int(20 * z));
        layout->setSpacing(int(12 * z));
    }
    ui->pageUpdateButtons->setSpacing(int(12 * z));
    ui->pageDownloadButtons->setSpacing(int(12 * z));

    if (translucent) {
        setAttribute(Qt::WA_TranslucentBackground);
        ui->card->setStyleSheet(
            QStringLiteral("QWidget#card { background-color: white; border-radius: %1; }").arg(px(6 * z)));
        auto *shadow = new QGraphicsDropShadowEffect(ui->card);
        shadow->setOffset(0, 0);
        shadow->setColor(QColor(0, 0, 0, 60));
        shadow->setBlurRadius(16 * z);
        ui->card->setGraphicsEffect(shadow);
    } else {
        // Nothing blends the see-through margin where the shadow would fall:
        // it would come out black. An opaque white card in a grey frame.
        ui->outerLayout->setContentsMargins(1, 1, 1, 1);
        setAttribute(Qt::WA_StyledBackground);
        setStyleSheet(QStringLiteral("QDialog#UpdateDownloadDialog { background-color: rgb(200, 200, 200); }"));
        ui->card->setStyleSheet(QStringLiteral("QWidget#card { background-color: white; }"));
    }
    ui->card->setAttribute(Qt::WA_StyledBackground);
}

void UpdateDownloadDialog::showPage(int page)
{
    if (page >= 0 && page < ui->stackedWidget->count())
        ui->stackedWidget->setCurrentIndex(page);
}

int UpdateDownloadDialog::currentPage() const { return ui->stackedWidget->currentIndex(); }

QString UpdateDownloadDialog::messageText() const
{
    switch (currentPage()) {
    case LMRUpdate::PageUpdate:
        return ui->lblMessageUpdate->text();
    case LMRUpdate::PageLatest:
        return ui->lblMessageLatest->text();
    default:
        return ui->lblMessageDownload->text();
    }
}

bool UpdateDownloadDialog::progressVisible() const { return ui->progressBar->isVisibleTo(this); }
int UpdateDownloadDialog::progressValue() const { return ui->progressBar->value(); }
bool UpdateDownloadDialog::downloadEnabled() const { return ui->btnDown->isEnabled(); }

int UpdateDownloadDialog::exec()
{
    startAutoAccept();
    return QDialog::exec();
}

void UpdateDownloadDialog::startAutoAccept()
{
    bool ok = false;
    const int autoMs = qEnvironmentVariableIntValue("LUMIRA_DIALOG_AUTO_ACCEPT_MS", &ok);
    if (ok && autoMs >= 0)
        QTimer::singleShot(autoMs, this, &UpdateDownloadDialog::pressMainButton);
}

void UpdateDownloadDialog::pressMainButton()
{
    switch (currentPage()) {
    case LMRUpdate::PageUpdate:
        ui->btnInstall->click();
        break;
    case LMRUpdate::PageDownload:
        ui->btnDown->click();
        break;
    default:
        done(LMRUpdate::kResultLater);
    }
}

void UpdateDownloadDialog::startInstall()
{
    if (!m_update)
        return;
    if (!m_update->packageTrusted()) {
        onVerificationFailed();
        return;
    }
    // The desktop hands the package to its installer.
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(m_update->localPath()))) {
        // Quitting now would leave the user with neither client nor installer.
        TSpdlog::instance()->otherError(QStringLiteral("更新: 无法打开安装包 ") + m_update->localPath());
        showPage(LMRUpdate::PageDownload);
        ui->lblMessageDownload->setText(QStringLiteral("无法打开安装包，请去浏览器下载"));
        return;
    }
    QCoreApplication::quit();
    done(LMRUpdate::kResultInstall);
}

void UpdateDownloadDialog::onDownPack()
{
    if (!m_update)
        return;
    ui->progressBar->show();
    ui->btnDown->setEnabled(false);
    m_update->setShowDownload(true);
    m_update->downloadPackage();
}

void UpdateDownloadDialog::onOpenurl()
{
    if (m_update)
        QDesktopServices::openUrl(QUrl(m_update->downloadUrl()));
}

void UpdateDownloadDialog::onSetProgress(int nvalue) { ui->progressBar->setValue(nvalue); }

void UpdateDownloadDialog::onDownloadFinished()
{
    ui->progressBar->hide();
    ui->btnDown->setEnabled(true);
    startInstall();
}

void UpdateDownloadDialog::onVerificationFailed()
{
    showPage(LMRUpdate::PageDownload);
    ui->lblMessageDownload->setText(QStringLiteral("无法验证此更新，安装包已删除"));
    ui->progressBar->hide();
    ui->progressBar->setValue(0);
    ui->btnDown->setEnabled(true);
}

void UpdateDownloadDialog::onDownloadFailed()
{
    // The bar stays where the download stopped; the user may try again,
    // use the browser link or close.
    ui->btnDown->setEnabled(true);
}

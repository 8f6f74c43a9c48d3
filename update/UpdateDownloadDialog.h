#pragma once

#include <QDialog>
#include <QPointer>

#include <memory>

namespace Ui
{
class UpdateDownloadDialog;
}
class LMRUpdate;

// The update dialog: "update available" (0), "already latest" (1) and
// "download" (2). Frameless, with a drop shadow where the desktop blends
// translucent windows and an opaque framed card where it does not; sizes and
// fonts follow the zoom factor of the first screen. Ends with 10 when the
// installer was opened, 11 when put off.
class UpdateDownloadDialog : public QDialog
{
    Q_OBJECT
public:
    UpdateDownloadDialog(LMRUpdate *update, int page, QWidget *parent = nullptr);
    ~UpdateDownloadDialog() override;

    void showPage(int page);
    int currentPage() const;
    QString messageText() const; // the current page's message label
    bool progressVisible() const;
    int progressValue() const;
    bool downloadEnabled() const;

    // Unattended runs (LUMIRA_DIALOG_AUTO_ACCEPT_MS) press the page's main
    // button after that many milliseconds.
    int exec() override;
    void startAutoAccept();

public slots:
    void startInstall();
    void onDownPack();
    void onOpenurl();
    void onSetProgress(int nvalue);
    void onDownloadFinished();
    void onVerificationFailed();
    void onDownloadFailed();

private:
    void styleWidgets(double zoom, bool translucent);
    void pressMainButton();

    std::unique_ptr<Ui::UpdateDownloadDialog> ui;
    QPointer<LMRUpdate> m_update;
};

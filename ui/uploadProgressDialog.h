#pragma once

#include <QDialog>

#include <memory>

namespace Ui
{
class uploadProgressDialog;
}

// Progress of the class-recording upload.
class uploadProgressDialog : public QDialog
{
    Q_OBJECT
public:
    explicit uploadProgressDialog(QWidget *parent = nullptr, bool closeWhenFinished = true);
    ~uploadProgressDialog() override;

    // Binds the recording controller's upload signals (sgUploadProgress,
    // sgUploadDialogInfo, sgUploadfinished) to the slots below.
    void connectSource(QObject *controller);

    QString labelText() const;
    int progressValue() const;

public slots:
    void uploadProgress(QString progress_com_id, qlonglong progress);
    void setText(int cur, int total);
    void uploadFinished();

private:
    std::unique_ptr<Ui::uploadProgressDialog> ui;
    bool m_closeWhenFinished;
};

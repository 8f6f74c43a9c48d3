#include "ui/uploadProgressDialog.h"

#include "ui_uploadProgressDialog.h"

uploadProgressDialog::uploadProgressDialog(QWidget *parent, bool closeWhenFinished)
    : QDialog(parent)
    , ui(std::make_unique<Ui::uploadProgressDialog>())
    , m_closeWhenFinished(closeWhenFinished)
{
    ui->setupUi(this);
    setWindowTitle(QStringLiteral("录音上传中"));
    setWindowFlags(Qt::WindowCloseButtonHint);
}

uploadProgressDialog::~uploadProgressDialog() = default;

void uploadProgressDialog::connectSource(QObject *controller)
{
    connect(controller, SIGNAL(sgUploadProgress(QString, qlonglong)), this, SLOT(uploadProgress(QString, qlonglong)));
    connect(controller, SIGNAL(sgUploadDialogInfo(int, int)), this, SLOT(setText(int, int)));
    connect(controller, SIGNAL(sgUploadfinished()), this, SLOT(uploadFinished()));
}

QString uploadProgressDialog::labelText() const { return ui->label->text(); }

int uploadProgressDialog::progressValue() const { return ui->progressBar->value(); }

void uploadProgressDialog::uploadProgress(QString, qlonglong progress)
{
    ui->progressBar->setValue(static_cast<int>(progress));
}

void uploadProgressDialog::setText(int cur, int total)
{
    ui->label->setText(tr("total %1,now %2").arg(total).arg(cur));
}

void uploadProgressDialog::uploadFinished()
{
    if (m_closeWhenFinished)
        close();
}

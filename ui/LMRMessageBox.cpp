#include "ui/LMRMessageBox.h"

#include "ui/Tools.h"
#include "ui_LMRMessageBox.h"

#include <QGraphicsDropShadowEffect>
#include <QTimer>

LMRMessageBox::LMRMessageBox(int kind, const QString &text, QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::LMRMessageBox>())
{
    ui->setupUi(this);
    const double z = Tools::instance()->getZoomFactor();
    setFixedSize(dialogSize(z));
    ui->label->setFixedSize(int(40 * z), int(40 * z));
    ui->msg->setFixedWidth(int(350 * z));
    ui->pushButton->setFixedSize(int(100 * z), int(40 * z));

    ui->msg->setStyleSheet(QStringLiteral("font: %1pt").arg(12));
    ui->pushButton->setStyleSheet(QStringLiteral("border:1px solid rgb(221,221,221);                                  "
                                                 "font: %1pt SimHei;                                  "
                                                 "qproperty-icon: url(:/images/tips/alert_ic_ok.svg);")
                                      .arg(12));

    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_TranslucentBackground);

    ui->msg->setWordWrap(true);
    ui->msg->setText(text);

    connect(ui->pushButton, &QPushButton::clicked, this, &QDialog::accept);
    if (kind == 0)
        ui->pushButton->setText(tr("OK"));
    else if (kind == 1)
        ui->pushButton->setText(tr("quit"));

    auto *shadow = new QGraphicsDropShadowEffect(ui->widget);
    shadow->setOffset(1, 1);
    shadow->setColor(QColor(246, 246, 246));
    shadow->setBlurRadius(5);
    ui->widget->setGraphicsEffect(shadow);
}

LMRMessageBox::~LMRMessageBox() = default;

QSize LMRMessageBox::dialogSize(double zoom) { return QSize(int(400 * zoom), int(210 * zoom)); }

QString LMRMessageBox::text() const { return ui->msg->text(); }

QString LMRMessageBox::buttonText() const { return ui->pushButton->text(); }

int LMRMessageBox::exec()
{
    bool ok = false;
    const int autoMs = qEnvironmentVariableIntValue("LUMIRA_DIALOG_AUTO_ACCEPT_MS", &ok);
    if (ok && autoMs >= 0)
        QTimer::singleShot(autoMs, this, &QDialog::accept);
    return QDialog::exec();
}

#include "ui/LMRMessageBox.h"

#include "ui/Tools.h"
#include "ui_LMRMessageBox.h"

#include <QGraphicsDropShadowEffect>
#include <QPalette>
#include <QTimer>

LMRMessageBox::LMRMessageBox(int kind, const QString &text, QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::LMRMessageBox>())
{
    ui->setupUi(this);
    const double z = Tools::instance()->getZoomFactor();
    setFixedSize(dialogSize(z));
    ui->label->setFixedSize(int(40 * z), int(40 * z));
    // Icon, message and margins share the 400z width: a message fixed at 350z
    // pushed the icon out over the left edge, so 350z is the most it gets.
    ui->msg->setMaximumWidth(int(350 * z));
    ui->verticalLayout->setContentsMargins(int(12 * z), int(8 * z), int(12 * z), int(8 * z));
    ui->horizontalLayout_3->setSpacing(int(8 * z));
    ui->pushButton->setFixedSize(int(100 * z), int(40 * z));

    ui->msg->setStyleSheet(QStringLiteral("font: %1pt").arg(12));
    ui->pushButton->setStyleSheet(QStringLiteral("border:1px solid rgb(221,221,221);                                  "
                                                 "font: %1pt SimHei;                                  "
                                                 "qproperty-icon: url(:/images/tips/alert_ic_ok.svg);")
                                      .arg(12));

    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    const bool translucent = Tools::instance()->isCompositing();
    if (translucent) {
        setAttribute(Qt::WA_TranslucentBackground);
    } else {
        // Nothing blends the see-through margin and the rounded corners: they
        // would come out black. The box becomes an opaque white panel inside
        // a one-pixel grey frame.
        setAutoFillBackground(true);
        QPalette frame = palette();
        frame.setColor(QPalette::Window, QColor(200, 200, 200));
        setPalette(frame);
        ui->gridLayout->setContentsMargins(1, 1, 1, 1);
        ui->widget->setStyleSheet(QStringLiteral("border-radius:0px;\nbackground-color: rgb(255, 255, 255);"));
    }

    ui->msg->setWordWrap(true);
    ui->msg->setText(text);

    connect(ui->pushButton, &QPushButton::clicked, this, &QDialog::accept);
    if (kind == 0)
        ui->pushButton->setText(tr("OK"));
    else if (kind == 1)
        ui->pushButton->setText(tr("quit"));

    if (translucent) {
        auto *shadow = new QGraphicsDropShadowEffect(ui->widget);
        shadow->setOffset(1, 1);
        shadow->setColor(QColor(246, 246, 246));
        shadow->setBlurRadius(5);
        ui->widget->setGraphicsEffect(shadow);
    }
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

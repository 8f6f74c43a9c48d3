#include "ui/LoadingDialog.h"

#include "ui/Tools.h"
#include "ui_LoadingDialog.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QSvgRenderer>

LoadingDialog::LoadingDialog(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::LoadingDialog>())
{
    ui->setupUi(this);
    setWindowFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    if (Tools::instance()->isCompositing()) {
        setAttribute(Qt::WA_TranslucentBackground);
    } else {
        // Nothing blends a see-through background: it would be a black
        // square. A white card with a thin grey frame instead.
        setAttribute(Qt::WA_StyledBackground);
        setStyleSheet(QStringLiteral("QDialog#LoadingDialog { background-color: rgb(255, 255, 255);"
                                     " border: 1px solid rgb(200, 200, 200); }"));
    }

    QSvgRenderer renderer(QStringLiteral(":/images/loading.svg"));
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    renderer.render(&painter);
    painter.end();
    ui->lbl_gif->setPixmap(pixmap);

    const int z = static_cast<int>(Tools::instance()->getZoomFactor());
    setFixedSize(350 * z, 300 * z);
    const QList<QScreen *> screens = QGuiApplication::screens();
    if (!screens.isEmpty()) {
        const QRect screen = screens.first()->geometry();
        move((screen.width() - width()) / 2, (screen.height() - height()) / 2);
    }
}

LoadingDialog::~LoadingDialog() = default;

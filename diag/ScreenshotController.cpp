#include "diag/ScreenshotController.h"

#include "app/TSpdlog.h"
#include "net/LMRAosController.h"
#include "web/LMRUserInfo.h"
#include "web/QMLNotify.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>
#include <QRegularExpression>
#include <QScreen>
#include <QWindow>

#include <memory>
#include <sstream>

QImage Screenshot::compose(const QVector<ScreenGrab> &grabs)
{
    int width = 0;
    int height = 0;
    for (const ScreenGrab &grab : grabs) {
        width += int(grab.image.width() / grab.ratio);
        height = qMax(height, int(grab.image.height() / grab.ratio));
    }
    QImage canvas(qMax(width, 1), qMax(height, 1), QImage::Format_RGB32);
    canvas.fill(Qt::black);
    QPainter painter(&canvas);
    int x = 0;
    for (const ScreenGrab &grab : grabs) {
        const QSize size(int(grab.image.width() / grab.ratio), int(grab.image.height() / grab.ratio));
        painter.drawImage(QRect(QPoint(x, 0), size), grab.image);
        x += size.width();
    }
    return canvas;
}

QByteArray Screenshot::jpeg(const QImage &picture)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!picture.save(&buffer, "JPEG", 100))
        bytes.clear();
    return bytes;
}

// Worker thread. The X11 platform plug-in grabs from any thread.
void Screenshot::onAllScreenshot()
{
    QVector<ScreenGrab> grabs;
    for (QScreen *screen : QGuiApplication::screens()) {
        const QPixmap pixmap = screen->grabWindow(0, 0, 0, -1, -1);
        grabs.append({ pixmap.toImage(), pixmap.devicePixelRatio() > 0 ? pixmap.devicePixelRatio() : 1.0 });
    }
    if (grabs.isEmpty()) {
        TSpdlog::instance()->otherError(QStringLiteral("screenshot: no screen"));
        return;
    }
    const QByteArray bytes = jpeg(compose(grabs));
    if (bytes.isEmpty()) {
        TSpdlog::instance()->otherError(QStringLiteral("screenshot: JPEG encoding failed"));
        return;
    }
    emit captured(bytes);
}

void Screenshot::onMainWindowScreenshot(QRect rect)
{
    QScreen *screen = QGuiApplication::primaryScreen();
    if (rect.isNull() || !screen)
        return;
    const QPixmap pixmap = screen->grabWindow(0, rect.x(), rect.y(), rect.width(), rect.height());
    if (pixmap.isNull())
        return;
    const QByteArray bytes = jpeg(pixmap.toImage());
    if (!bytes.isEmpty())
        emit captured(bytes);
}

ScreenshotController *ScreenshotController::instance()
{
    static ScreenshotController *controller = [] {
        auto *c = new ScreenshotController(LMRAosController::instance());
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, c, &ScreenshotController::shutdown);
        return c;
    }();
    return controller;
}

ScreenshotController::ScreenshotController(LMRAosController *aos, QObject *parent)
    : QObject(parent)
    , m_aos(aos)
{
    auto *worker = new Screenshot;
    worker->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, worker, &QObject::deleteLater);
    // Queued across the threads, out and back.
    connect(this, &ScreenshotController::onAllScreenshotSignal, worker, &Screenshot::onAllScreenshot);
    connect(
        this, &ScreenshotController::onMainWindowScreenshotSignal, this, &ScreenshotController::onMainWindowRequested);
    connect(this, &ScreenshotController::grabMainWindow, worker, &Screenshot::onMainWindowScreenshot);
    connect(worker, &Screenshot::captured, this, &ScreenshotController::upload);
    m_thread.start(QThread::InheritPriority);
}

ScreenshotController::~ScreenshotController() { shutdown(); }

void ScreenshotController::shutdown()
{
    if (!m_thread.isRunning())
        return;
    m_thread.quit();
    m_thread.wait();
}

QString ScreenshotController::objectName(const QDateTime &now, const QString &classToken)
{
    // The token comes from the page: it names one folder level, nothing more.
    QString token = classToken;
    token.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_.-]")), QStringLiteral("_"));
    if (token.isEmpty() || token == QLatin1String(".") || token == QLatin1String(".."))
        token = QStringLiteral("_");
    return QStringLiteral("pc-screenshot-image/") + now.date().toString(QStringLiteral("yyyy-MM-dd")) + QLatin1Char('/')
        + token + QLatin1Char('/') + QString::number(now.toSecsSinceEpoch()) + QStringLiteral(".jpeg");
}

void ScreenshotController::upload(QByteArray jpeg)
{
    auto stream = std::make_shared<std::stringstream>();
    stream->write(jpeg.constData(), jpeg.size());
    m_aos->uploadBuffer(kComId, kBucket,
        objectName(QDateTime::currentDateTime(), LMRUserInfo::instance()->classToken()), std::move(stream));
}

void ScreenshotController::onMainWindowRequested()
{
    // The main window's place, read here where the window lives.
    for (QWindow *window : QGuiApplication::topLevelWindows()) {
        if (window->title() == QLatin1String("Lumira") && window->isVisible()) {
            emit grabMainWindow(window->geometry());
            return;
        }
    }
}

void ScreenshotController::onAosEffect(QString com_id, QString effect)
{
    if (com_id != kComId)
        return;
    if (effect.isEmpty()) {
        TSpdlog::instance()->otherError(QStringLiteral("screenshot upload failed"));
        return;
    }
    emit QMLNotify::instance()->sgNotifyH5(QMLNotify::instance()->callH5_jsFunScreen(effect));
}

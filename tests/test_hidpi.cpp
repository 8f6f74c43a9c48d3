// The classroom window on a 144-DPI screen, whose zoom factor is 1.5: the
// window, its views, the lesson page and the video window are half as large
// again as on a 96-DPI screen, and the page is drawn by the browser at that
// zoom. Checked on what the X screen shows.
#include "BrowserHarness.h"
#include "PrivateXServer.h"

#include <QPixmap>
#include <QQuickWindow>
#include <QScreen>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

using harness::BrowserHarness;
using harness::waitUntil;

namespace
{

const QRgb kTitle = qRgb(0x2f, 0x6b, 0xff);
const QRgb kPage = qRgb(0xf0, 0xf0, 0xf0);
const QRgb kBox = qRgb(0xd0, 0x20, 0x20);

bool near(QRgb a, QRgb b, int tolerance = 24)
{
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance
        && std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

QImage grabScreen()
{
    QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? screen->grabWindow(0).toImage().convertToFormat(QImage::Format_RGB32) : QImage();
}

} // namespace

class HighDpi : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // A 200 x 100 box at the page's top left, in CSS pixels.
        const QString page = harness::writePage(QStringLiteral("box.html"),
            QStringLiteral("<!DOCTYPE html><html><body style=\"margin:0;background:%1\">"
                           "<div style=\"width:200px;height:100px;background:%2\"></div></body></html>")
                .arg(QColor(kPage).name(), QColor(kBox).name()));
        h = std::make_unique<BrowserHarness>(QUrl::fromLocalFile(page).toString());
        h->view->setPosition(0, 0);
        ASSERT_TRUE(waitUntil([&] { return h->cef->embedded(); }));
        ASSERT_TRUE(waitUntil([&] { return h->view->isExposed(); }));
        harness::processEventsFor(1500); // the page paints
    }

    std::unique_ptr<BrowserHarness> h;
};

TEST_F(HighDpi, WindowTitleBarAndPageScaleByTheZoom)
{
    ASSERT_EQ(h->root()->property("zoom").toDouble(), 1.5);
    EXPECT_EQ(h->view->size(), QSize(1920, 1080)) << "1280 x 720 at 1.5";

    const QImage shot = grabScreen();
    shot.save(QDir(testenv::sandboxRoot()).filePath(QStringLiteral("hidpi-window.png")));
    // The 40-pixel title bar is 60 pixels high; the page starts below it.
    EXPECT_TRUE(near(shot.pixel(400, 56), kTitle)) << QColor(shot.pixel(400, 56)).name().toStdString();
    // The page's box, 200 x 100 CSS pixels, covers 300 x 150 device pixels.
    const int top = 60;
    EXPECT_TRUE(near(shot.pixel(290, top + 140), kBox)) << "box too small";
    EXPECT_TRUE(near(shot.pixel(310, top + 75), kPage)) << "box too wide";
    EXPECT_TRUE(near(shot.pixel(150, top + 160), kPage)) << "box too high";
    // Drawn by the browser at the zoom, not a 1x picture scaled up: the box's
    // edge is sharp, with no blended column between box and page.
    for (int x = 296; x <= 303; ++x) {
        const QRgb c = shot.pixel(x, top + 75);
        EXPECT_TRUE(near(c, kBox, 2) || near(c, kPage, 2)) << "blurred edge at x " << x;
    }
    // Another site keeps the zoom.
    h->cef->load(QStringLiteral("data:text/html,<body style='margin:0;background:%1'>"
                                "<div style='width:200px;height:100px;background:%2'></div></body>")
                     .arg(QColor(kPage).name(), QColor(kBox).name())
                     .replace(QLatin1Char('#'), QLatin1String("%23")));
    harness::processEventsFor(1500);
    const QImage again = grabScreen();
    EXPECT_TRUE(near(again.pixel(290, top + 140), kBox)) << "zoom lost after loading another site";
    EXPECT_TRUE(near(again.pixel(310, top + 75), kPage));

    // The browser's own size is in device pixels.
    EXPECT_EQ(QSize(h->cef->width(), h->cef->height()), QSize(1920, 1080 - 60));
}

TEST_F(HighDpi, VideoWindowOpensScaledBesideTheMainWindow)
{
    QQuickItem *root = h->root();
    QMetaObject::invokeMethod(root, "moveView");
    QObject *videoWindow = root->property("videoWindow").value<QObject *>();
    ASSERT_TRUE(videoWindow);
    auto *window = qobject_cast<QQuickWindow *>(videoWindow);
    ASSERT_TRUE(window);
    EXPECT_EQ(window->width(), 450);
    EXPECT_EQ(window->height(), 930);
    EXPECT_GE(window->x(), h->view->x() + h->view->width()) << "beside the main window, not over it";
    EXPECT_EQ(window->y(), h->view->y() + 60) << "level with the content, below the title bar";
}

QRectF sceneRect(QObject *popup)
{
    auto *item = qobject_cast<QQuickItem *>(popup->property("background").value<QObject *>());
    return item ? item->mapRectToScene(QRectF(0, 0, item->width(), item->height())) : QRectF();
}

TEST_F(HighDpi, PopupsAreScaledWithTheWindow)
{
    QMetaObject::invokeMethod(h->root(), "showMainSettingView");
    QObject *settings = h->root()->property("settingView").value<QObject *>();
    ASSERT_TRUE(settings);
    harness::processEventsFor(600);
    const QImage shot = grabScreen();
    shot.save(QDir(testenv::sandboxRoot()).filePath(QStringLiteral("hidpi-settings.png")));
    // 640 x 560 at 1.5, centred on the 1920 x 1080 window.
    const QRectF onScreen = sceneRect(settings);
    EXPECT_NEAR(onScreen.width(), 960, 2);
    EXPECT_NEAR(onScreen.height(), 840, 2);
    EXPECT_NEAR(onScreen.center().x(), 960, 2);
    EXPECT_NEAR(onScreen.center().y(), 540, 2);
    QMetaObject::invokeMethod(settings, "close");

    // A menu hangs below its title-bar button, right edges aligned.
    QMetaObject::invokeMethod(h->root(), "openHelpMenu");
    QObject *menu = h->root()->property("helpMenu").value<QObject *>();
    auto *button = h->root()->findChild<QQuickItem *>(QStringLiteral("m_btnHelp"));
    ASSERT_TRUE(menu && button);
    harness::processEventsFor(400);
    const QRectF buttonRect = button->mapRectToScene(QRectF(0, 0, button->width(), button->height()));
    const QRectF menuRect = sceneRect(menu);
    EXPECT_NEAR(menuRect.width(), 180 * 1.5, 2);
    EXPECT_NEAR(menuRect.right(), buttonRect.right(), 2);
    EXPECT_NEAR(menuRect.top(), buttonRect.bottom() + 4 * 1.5, 2);
}

int main(int argc, char **argv)
{
    testenv::PrivateXServer x({ QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("2560x1440x24"),
        QStringLiteral("-dpi"), QStringLiteral("144") });
    if (!x.ok()) {
        std::fprintf(stderr, "Xvfb could not be started\n");
        return 1;
    }
    x.use();
    return harness::runBrowserTests(argc, argv, "hidpi");
}

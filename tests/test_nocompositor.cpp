// Our windows on an X server without a compositing manager (plain Xvfb), where
// nothing blends translucent windows: eye protection must tint inside our own
// windows and leave the page readable, and the boxes must show no black frame,
// corner or square. Every check looks at what the X screen shows, grabbed from
// its root window, as a person would see it.
#include "BrowserHarness.h"
#include "CompositorSelection.h"
#include "TestEnv.h"

#include "ui/LMRMessageBox.h"
#include "ui/LoadingDialog.h"
#include "ui/Tools.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPixmap>
#include <QQuickWindow>
#include <QScreen>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

using harness::BrowserHarness;
using harness::waitUntil;

namespace
{

QString shotPath(const QString &name)
{
    const QString dir = qEnvironmentVariableIsSet("LUMIRA_SCREENSHOT_DIR")
        ? qEnvironmentVariable("LUMIRA_SCREENSHOT_DIR")
        : testenv::sandboxRoot();
    QDir().mkpath(dir);
    return QDir(dir).filePath(name);
}

QImage grabScreen()
{
    QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? screen->grabWindow(0).toImage().convertToFormat(QImage::Format_RGB32) : QImage();
}

bool onXWithoutCompositor()
{
    return QGuiApplication::platformName() == QLatin1String("xcb") && !Tools::instance()->isCompositing();
}

// Black where a see-through pixel was left unblended.
bool nearBlack(QRgb c) { return qRed(c) < 40 && qGreen(c) < 40 && qBlue(c) < 40; }

::testing::AssertionResult near(QRgb seen, QRgb want, int tolerance = 8)
{
    if (std::abs(qRed(seen) - qRed(want)) <= tolerance && std::abs(qGreen(seen) - qGreen(want)) <= tolerance
        && std::abs(qBlue(seen) - qBlue(want)) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "seen " << QColor(seen).name().toStdString() << ", want "
                                         << QColor(want).name().toStdString();
}

// `over` at `alpha` (0..255) over `under`, as a compositor blends it.
QRgb blend(QRgb under, QRgb over, int alpha)
{
    auto mix = [alpha](int u, int o) { return (o * alpha + u * (255 - alpha) + 127) / 255; };
    return qRgb(mix(qRed(under), qRed(over)), mix(qGreen(under), qGreen(over)), mix(qBlue(under), qBlue(over)));
}

const QRgb kPage = qRgb(0x3c, 0x78, 0xd8);
const QRgb kTint = qRgb(0x45, 0x2b, 0x00);

} // namespace

TEST(Compositing, FollowsTheSelectionOwner)
{
    if (!onXWithoutCompositor())
        GTEST_SKIP() << "needs an X display without a compositing manager (plain Xvfb)";
    {
        testenv::CompositorSelection manager;
        ASSERT_TRUE(manager.ok());
        EXPECT_TRUE(Tools::instance()->isCompositing());
    }
    EXPECT_FALSE(Tools::instance()->isCompositing()) << "a manager that went away is not kept";
}

class EyeProtection : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!onXWithoutCompositor())
            GTEST_SKIP() << "needs an X display without a compositing manager (plain Xvfb)";
        const QString page = harness::writePage(QStringLiteral("colour.html"),
            QStringLiteral("<!DOCTYPE html><html><body style=\"margin:0;background:%1\"></body></html>")
                .arg(QColor(kPage).name()));
        h = std::make_unique<BrowserHarness>(QUrl::fromLocalFile(page).toString());
        h->view->setPosition(0, 0);
        h->view->resize(1280, 720);
        ASSERT_TRUE(waitUntil([&] { return h->cef->embedded(); }));
        ASSERT_TRUE(h->rootCef);
        LMRConfig::instance()->setProtectedEyeValue(0.3);
        root = h->root();
    }
    void TearDown() override
    {
        if (root)
            QMetaObject::invokeMethod(root, "isShow", Q_ARG(QVariant, false));
        h.reset();
    }

    // The middle of the page on the screen.
    QPoint pagePoint() const
    {
        return h->rootCef->mapToGlobal(QPointF(h->rootCef->width() / 2, h->rootCef->height() / 2)).toPoint();
    }
    QRgb seenAt(const QPoint &at) const { return grabScreen().pixel(at); }

    std::unique_ptr<BrowserHarness> h;
    QQuickItem *root = nullptr;
};

TEST_F(EyeProtection, PageShowsThroughTheTintNotBlackNotUntinted)
{
    const QPoint at = pagePoint();
    ASSERT_TRUE(waitUntil([&] { return near(seenAt(at), kPage, 2); }, 20000)) << "the page never painted";

    QMetaObject::invokeMethod(root, "isShow", Q_ARG(QVariant, true));
    const QRgb want = blend(kPage, kTint, int(0.3 * 255));
    const bool tinted = waitUntil([&] { return near(seenAt(at), want); }, 5000);
    const QImage shot = grabScreen();
    shot.save(shotPath("nocompositor-eye.png"));
    EXPECT_TRUE(tinted) << near(shot.pixel(at), want).message();
    EXPECT_FALSE(nearBlack(shot.pixel(at)));
    // The title bar is tinted too: the whole window, as the overlay would.
    const QPoint title = h->view->mapToGlobal(QPoint(200, 5));
    EXPECT_LT(qBlue(shot.pixel(title)), 0xd0) << QColor(shot.pixel(title)).name().toStdString();

    for (QWindow *w : QGuiApplication::topLevelWindows()) {
        if (w->title() == QLatin1String("lumira_eye")) {
            EXPECT_FALSE(w->isVisible()) << "an opaque full-screen window would hide the desktop";
        }
    }

    // A popup over the page (the settings) is tinted like the rest.
    QMetaObject::invokeMethod(root, "showMainSettingView");
    QObject *settings = root->property("settingView").value<QObject *>();
    ASSERT_TRUE(settings);
    const QPoint inPopup = h->view->mapToGlobal(QPoint(h->view->width() / 2, h->view->height() / 2 + 200));
    const QRgb tintedWhite = blend(qRgb(255, 255, 255), kTint, int(0.3 * 255));
    EXPECT_TRUE(waitUntil([&] { return near(seenAt(inPopup), tintedWhite); }, 3000))
        << near(seenAt(inPopup), tintedWhite).message();
    QMetaObject::invokeMethod(settings, "close");

    QMetaObject::invokeMethod(root, "isShow", Q_ARG(QVariant, false));
    EXPECT_TRUE(waitUntil([&] { return near(seenAt(at), kPage, 2); }, 5000)) << "tint stays after turning off";
}

TEST_F(EyeProtection, PoppedOutVideoWindowIsTintedToo)
{
    QQuickItem *loader = root->findChild<QQuickItem *>(QStringLiteral("m_videoViewLoader"));
    ASSERT_TRUE(loader);
    loader->setProperty("source", QUrl(QStringLiteral("qrc:/lmr_controls/LMR1V1.qml")));
    QMetaObject::invokeMethod(root, "moveView");
    QQuickWindow *video = nullptr;
    for (QWindow *w : QGuiApplication::topLevelWindows())
        if (w->title() == QLatin1String("lumira_video"))
            video = qobject_cast<QQuickWindow *>(w);
    ASSERT_TRUE(video);
    ASSERT_TRUE(waitUntil([&] { return video->isExposed(); }));
    // A spot of the video area's own background, clear of the tiles.
    const QPoint at = video->mapToGlobal(QPoint(3, 3));
    const QRgb background = qRgb(0x15, 0x1a, 0x24);
    ASSERT_TRUE(waitUntil([&] { return near(seenAt(at), background, 2); }));

    QMetaObject::invokeMethod(root, "isShow", Q_ARG(QVariant, true));
    const QRgb want = blend(background, kTint, int(0.3 * 255));
    EXPECT_TRUE(waitUntil([&] { return near(seenAt(at), want, 4); }, 5000)) << near(seenAt(at), want, 4).message();
    grabScreen().save(shotPath("nocompositor-eye-video.png"));
    QMetaObject::invokeMethod(root, "moveView");
}

namespace
{

// The four corners of a window and a point 3 pixels in from each.
void expectNoBlackCorners(const QImage &shot, const QRect &box, const char *what)
{
    const QRect r = box.adjusted(0, 0, -1, -1);
    for (const QPoint &corner : { r.topLeft(), r.topRight(), r.bottomLeft(), r.bottomRight() }) {
        const QPoint inward(corner.x() == r.left() ? 3 : -3, corner.y() == r.top() ? 3 : -3);
        for (const QPoint &at : { corner, corner + inward })
            EXPECT_FALSE(nearBlack(shot.pixel(at)))
                << what << " at " << at.x() << "," << at.y() << ": " << QColor(shot.pixel(at)).name().toStdString();
    }
}

} // namespace

TEST(Boxes, MessageBoxIsWholeWithoutACompositor)
{
    if (!onXWithoutCompositor())
        GTEST_SKIP() << "needs an X display without a compositing manager (plain Xvfb)";
    LMRMessageBox box(0, QStringLiteral("lumira app already running!"));
    box.show();
    ASSERT_TRUE(waitUntil([&] { return box.windowHandle() && box.windowHandle()->isExposed(); }));
    harness::processEventsFor(300);
    const QImage shot = grabScreen();
    const QRect frame = box.frameGeometry();
    shot.copy(frame).save(shotPath("nocompositor-messagebox.png"));
    expectNoBlackCorners(shot, frame, "message box");

    // The warning icon: orange over its whole width, its left edge included.
    auto *icon = box.findChild<QLabel *>(QStringLiteral("label"));
    ASSERT_TRUE(icon);
    const QRect iconRect(icon->mapToGlobal(QPoint(0, 0)), icon->size());
    EXPECT_TRUE(frame.contains(iconRect)) << "icon outside the box";
    int left = iconRect.right(), right = iconRect.left();
    for (int x = iconRect.left(); x <= iconRect.right(); ++x) {
        const QRgb c = shot.pixel(x, iconRect.center().y());
        if (qRed(c) > 200 && qGreen(c) > 120 && qGreen(c) < 190 && qBlue(c) < 80) {
            left = std::min(left, x);
            right = std::max(right, x);
        }
    }
    ASSERT_LE(left, right) << "no icon drawn";
    // The circle spans the label; a clipped icon loses its left part.
    EXPECT_LE(left - iconRect.left(), 3) << "icon clipped at the left";
    EXPECT_LE(iconRect.right() - right, 3);
    EXPECT_GE(iconRect.left() - frame.left(), 8) << "icon pressed against the edge";
    box.close();
}

TEST(Boxes, SpinnerHasNoBlackSquare)
{
    if (!onXWithoutCompositor())
        GTEST_SKIP() << "needs an X display without a compositing manager (plain Xvfb)";
    LoadingDialog spinner;
    spinner.show();
    ASSERT_TRUE(waitUntil([&] { return spinner.windowHandle() && spinner.windowHandle()->isExposed(); }));
    harness::processEventsFor(300);
    const QImage shot = grabScreen();
    const QRect frame = spinner.frameGeometry();
    shot.copy(frame).save(shotPath("nocompositor-spinner.png"));
    expectNoBlackCorners(shot, frame, "spinner");
    // Around the animation the card is light, not a dark square.
    const QPoint centre = frame.center();
    for (const QPoint &offset : { QPoint(-40, 0), QPoint(40, 0), QPoint(0, -40), QPoint(0, 40) })
        EXPECT_GT(qGray(shot.pixel(centre + offset)), 200);
    // One 32-pixel ring, not a second one stretched over the card.
    int ringPixels = 0;
    for (int y = frame.top() + 8; y < frame.bottom() - 8; ++y)
        for (int x = frame.left() + 8; x < frame.right() - 8; ++x)
            if ((QPoint(x, y) - centre).manhattanLength() > 40 && qGray(shot.pixel(x, y)) < 240)
                ++ringPixels;
    EXPECT_EQ(ringPixels, 0) << "something drawn away from the spinner";
    spinner.close();
}

int main(int argc, char **argv) { return harness::runBrowserTests(argc, argv, "nocompositor"); }

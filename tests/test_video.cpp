// Vendor I420 frames to cropped FFmpeg frames and into the video tiles.
#include "TestEnv.h"

#include "app/AppStartup.h"
#include "media/video/BCQmlRenderView.h"
#include "media/video/Placeholder.h"
#include "media/video/VideoFrameConvert.h"
#include "media/video/XImageView.h"

#include <QAbstractVideoSurface>
#include <QGuiApplication>
#include <QPainter>
#include <QThread>
#include <QVideoSurfaceFormat>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <vector>

namespace
{

// An I420 picture whose luma encodes the column (x % 251) and chroma the row.
struct I420 {
    int width, height, stride;
    std::vector<uint8_t> y, u, v;
    I420(int w, int h, int padding = 0)
        : width(w)
        , height(h)
        , stride(w + padding)
        , y(size_t(stride * h))
        , u(size_t(stride / 2 * h / 2))
        , v(size_t(stride / 2 * h / 2))
    {
        for (int r = 0; r < h; ++r)
            for (int c = 0; c < w; ++c)
                y[size_t(r * stride + c)] = uint8_t(c % 251);
        for (int r = 0; r < h / 2; ++r)
            for (int c = 0; c < w / 2; ++c) {
                u[size_t(r * (stride / 2) + c)] = uint8_t(r % 251);
                v[size_t(r * (stride / 2) + c)] = uint8_t(255 - c % 251);
            }
    }
    VendorVideoFrame record() const
    {
        VendorVideoFrame f;
        f.width = width;
        f.height = height;
        f.strides[0] = stride;
        f.strides[1] = f.strides[2] = stride / 2;
        f.planes[0] = y.data();
        f.planes[1] = u.data();
        f.planes[2] = v.data();
        return f;
    }
};

class RecordingSurface : public QAbstractVideoSurface
{
public:
    QList<QVideoFrame::PixelFormat> supportedPixelFormats(QAbstractVideoBuffer::HandleType) const override
    {
        return { QVideoFrame::Format_YUV420P, QVideoFrame::Format_RGB32 };
    }
    bool present(const QVideoFrame &frame) override
    {
        QVideoFrame copy(frame);
        if (copy.map(QAbstractVideoBuffer::ReadOnly)) {
            firstByte = copy.bits()[0];
            copy.unmap();
        }
        frames.append(frame);
        return true;
    }
    QList<QVideoFrame> frames;
    int firstByte = -1;
};

// The frames a worker sends in turn; two formats at one size, as a stream
// that switches between hardware and software decoding gives them.
struct Variant {
    QSize size;
    AVPixelFormat av;
    QVideoFrame::PixelFormat qt;
};
const Variant kVariants[] = {
    { QSize(64, 48), AV_PIX_FMT_YUV420P, QVideoFrame::Format_YUV420P },
    { QSize(64, 48), AV_PIX_FMT_NV12, QVideoFrame::Format_NV12 },
    { QSize(96, 72), AV_PIX_FMT_YUV420P, QVideoFrame::Format_YUV420P },
    { QSize(96, 72), AV_PIX_FMT_NV12, QVideoFrame::Format_NV12 },
};
constexpr int kVariantCount = int(sizeof kVariants / sizeof kVariants[0]);
// Frame n carries the tag 1 + n % kTags in every luma byte, so the tag names
// the variant it was sent as.
constexpr int kTags = 200;
static_assert(kTags % kVariantCount == 0, "a tag must name one variant");

const Variant &variantOfTag(int tag) { return kVariants[(tag - 1) % kVariantCount]; }

// The luma byte shared by the whole picture; -1 when it differs anywhere.
int uniformLuma(const QVideoFrame &frame)
{
    QVideoFrame copy(frame);
    if (!copy.map(QAbstractVideoBuffer::ReadOnly))
        return -1;
    const int first = copy.bits()[0];
    bool uniform = true;
    for (int y = 0; y < copy.height() && uniform; ++y)
        for (int x = 0; x < copy.width() && uniform; ++x)
            uniform = copy.bits()[y * copy.bytesPerLine() + x] == first;
    copy.unmap();
    return uniform ? first : -1;
}

// Checks what the tile owes its output: the surface is driven on its own
// thread, every frame has the format the surface was started with (Qt's
// VideoOutput stops on any other), and the surface is started only for a
// frame it is then given. Like the output, it keeps the frames it was given.
class CheckingSurface : public QAbstractVideoSurface
{
public:
    QList<QVideoFrame::PixelFormat> supportedPixelFormats(QAbstractVideoBuffer::HandleType) const override
    {
        return { QVideoFrame::Format_YUV420P, QVideoFrame::Format_NV12, QVideoFrame::Format_RGB32 };
    }
    bool start(const QVideoSurfaceFormat &format) override
    {
        checkThread();
        finish();
        m_pending = format.frameSize();
        return QAbstractVideoSurface::start(format);
    }
    void stop() override
    {
        checkThread();
        QAbstractVideoSurface::stop();
    }
    bool present(const QVideoFrame &frame) override
    {
        checkThread();
        m_pending = QSize();
        const QVideoSurfaceFormat format = surfaceFormat();
        if (!isActive() || frame.pixelFormat() != format.pixelFormat() || frame.size() != format.frameSize())
            fault(QStringLiteral("a %1x%2 frame of format %3 on a surface of format %4")
                      .arg(frame.width())
                      .arg(frame.height())
                      .arg(frame.pixelFormat())
                      .arg(format.pixelFormat()));
        if (frame.pixelFormat() == QVideoFrame::Format_RGB32)
            return true; // a placeholder
        const int tag = uniformLuma(frame);
        if (tag < 1 || tag > kTags)
            fault(QStringLiteral("a frame of mixed or foreign content"));
        else if (variantOfTag(tag).size != frame.size() || variantOfTag(tag).qt != frame.pixelFormat())
            fault(QStringLiteral("the content of frame %1 under another frame's size or format").arg(tag));
        shown.append({ frame, tag });
        return true;
    }
    // Also after the run: a start still waiting for its frame.
    void finish()
    {
        if (m_pending.isValid())
            fault(
                QStringLiteral("started at %1x%2 with no frame shown").arg(m_pending.width()).arg(m_pending.height()));
    }

    struct Shown {
        QVideoFrame frame;
        int tag;
    };
    QList<Shown> shown;
    QStringList faults;

private:
    void checkThread()
    {
        if (QThread::currentThread() != thread())
            fault(QStringLiteral("driven from another thread"));
    }
    void fault(const QString &what)
    {
        if (faults.size() < 5)
            faults << what;
        else
            faults.last() = QStringLiteral("...");
    }
    QSize m_pending; // of a start not yet followed by a frame
};

} // namespace

TEST(VideoCrop, OnlyNon4x3FramesAreCroppedToTheCentreAndBadRecordsAreRejected)
{
    const auto landscape = videoconvert::cropRect(1280, 720), portrait = videoconvert::cropRect(720, 1280);
    EXPECT_EQ(QRect(landscape.x, landscape.y, landscape.width, landscape.height), QRect(160, 0, 960, 720));
    EXPECT_EQ(QRect(portrait.x, portrait.y, portrait.width, portrait.height), QRect(0, 370, 720, 540));
    for (const QSize size : { QSize(240, 180), QSize(640, 480) }) {
        ffmpeg::FramePtr frame = videoconvert::fromI420(I420(size.width(), size.height()).record());
        ASSERT_TRUE(frame);
        EXPECT_EQ(QSize(frame->width, frame->height), size) << "4:3 is left whole";
    }

    const int graphs = videoconvert::cachedGraphCount();
    const I420 wide(1280, 720, 64); // padded strides, as vendors give them
    for (int n = 0; n < 3; ++n) {
        ffmpeg::FramePtr frame = videoconvert::fromI420(wide.record());
        ASSERT_TRUE(frame);
        EXPECT_EQ(frame->format, AV_PIX_FMT_YUV420P);
        EXPECT_EQ(QSize(frame->width, frame->height), QSize(960, 720));
        // The picture moved by x = 160: column 0 is source column 160.
        EXPECT_EQ(frame->data[0][0], 160);
        EXPECT_EQ(frame->data[0][5 * frame->linesize[0] + 10], 170);
        EXPECT_EQ(frame->data[1][3 * frame->linesize[1]], 3);
        EXPECT_EQ(frame->data[2][0], 255 - 80);
    }
    EXPECT_EQ(videoconvert::cachedGraphCount(), graphs + 1); // one graph per input size

    // Unusable records: luma shorter than a row, chroma strides that differ,
    // a missing plane, absurd sides.
    const I420 picture(640, 480);
    const std::function<void(VendorVideoFrame &)> spoil[]
        = { [](VendorVideoFrame &f) { f.strides[0] = 320; }, [](VendorVideoFrame &f) { f.strides[2] = 100; },
              [](VendorVideoFrame &f) { f.planes[1] = nullptr; }, [](VendorVideoFrame &f) { f.width = 10002; } };
    for (const auto &change : spoil) {
        VendorVideoFrame f = picture.record();
        change(f);
        EXPECT_FALSE(videoconvert::fromI420(f));
    }
    // Plane lengths instead of strides.
    const uint8_t *planes[3] = { picture.y.data(), picture.u.data(), picture.v.data() };
    const int lengths[3] = { int(picture.y.size()), int(picture.u.size()), int(picture.v.size()) };
    ffmpeg::FramePtr frame = videoconvert::fromI420Lengths(640, 480, planes, lengths);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->data[0][100], 100);
}

TEST(VideoCrop, SoftwareTilesGetTheColoursOfTheFrame)
{
    // BT.601 limited range: (81, 90, 240) is pure red, (145, 54, 34) pure green.
    struct Case {
        uint8_t y, u, v;
        QColor colour;
    };
    for (const Case &c : { Case { 81, 90, 240, Qt::red }, Case { 145, 54, 34, Qt::green } }) {
        I420 picture(320, 240);
        std::fill(picture.y.begin(), picture.y.end(), c.y);
        std::fill(picture.u.begin(), picture.u.end(), c.u);
        std::fill(picture.v.begin(), picture.v.end(), c.v);
        const QImage image = videoconvert::toImage(videoconvert::fromI420(picture.record()).get());
        ASSERT_EQ(image.size(), QSize(320, 240));
        const QColor got = image.pixelColor(160, 120);
        EXPECT_LT(std::abs(got.red() - c.colour.red()) + std::abs(got.green() - c.colour.green())
                + std::abs(got.blue() - c.colour.blue()),
            45)
            << got.name().toStdString();
    }
    EXPECT_TRUE(videoconvert::toImage(nullptr).isNull());
}

TEST(RenderView, FramesReachTheSurfaceAndABusyViewDrops)
{
    BCQmlRenderView view;
    RecordingSurface surface;
    view.setVideoSurface(&surface);
    QList<int> rotations;
    QObject::connect(&view, &BCQmlRenderView::setRotate, [&](int r) { rotations << r; });

    const I420 wide(1280, 720);
    ffmpeg::FramePtr frame = videoconvert::fromI420(wide.record());
    ASSERT_TRUE(view.renderFrame(frame.get(), 90));
    EXPECT_EQ(view.frameSize(), QSize(960, 720));
    EXPECT_EQ(rotations, QList<int>({ 90 }));
    ASSERT_EQ(surface.frames.size(), 1); // same thread: presented at once
    EXPECT_EQ(surface.frames.first().size(), QSize(960, 720));
    EXPECT_EQ(surface.frames.first().pixelFormat(), QVideoFrame::Format_YUV420P);
    EXPECT_EQ(surface.firstByte, 160);

    // While a frame is being copied the next one is dropped, not queued.
    ASSERT_TRUE(view.tryBeginFrame());
    EXPECT_FALSE(view.renderFrame(frame.get(), 90));
    view.endFrame();
    QCoreApplication::processEvents();
    EXPECT_EQ(surface.frames.size(), 1);
    EXPECT_TRUE(view.renderFrame(frame.get(), 90));
    EXPECT_EQ(surface.frames.size(), 2);
    EXPECT_EQ(rotations.size(), 1);

    ffmpeg::FramePtr rgb(av_frame_alloc());
    rgb->format = AV_PIX_FMT_RGB24;
    rgb->width = 64;
    rgb->height = 48;
    av_frame_get_buffer(rgb.get(), 32);
    EXPECT_FALSE(view.renderFrame(rgb.get(), 0)); // no surface format for it
    EXPECT_TRUE(view.tryBeginFrame()); // and the view is not left busy
    view.endFrame();
}

TEST(RenderView, FramesFromAnotherThreadWhileTheTileIsResized)
{
    BCQmlRenderView view;
    CheckingSurface surface;
    view.setVideoSurface(&surface);
    std::vector<ffmpeg::FramePtr> frames;
    for (const Variant &variant : kVariants) {
        frames.emplace_back(av_frame_alloc());
        AVFrame *frame = frames.back().get();
        frame->format = variant.av;
        frame->width = variant.size.width();
        frame->height = variant.size.height();
        ASSERT_EQ(av_frame_get_buffer(frame, 32), 0);
        for (int plane = 1; plane < 3 && frame->data[plane]; ++plane)
            std::memset(frame->data[plane], 128, size_t(frame->linesize[plane] * frame->height / 2));
    }

    // A render thread sends frames, as the engines' do, while the GUI thread
    // resizes the tile, shows placeholders and delivers what was sent.
    constexpr int kFrames = 600;
    std::unique_ptr<QThread> sender(QThread::create([&frames, &view]() {
        for (int n = 0; n < kFrames; ++n) {
            AVFrame *frame = frames[size_t(n % kVariantCount)].get();
            std::memset(frame->data[0], 1 + n % kTags, size_t(frame->linesize[0] * frame->height));
            view.renderFrame(frame, n / 50 % 2 * 90);
            QThread::usleep(100); // gives the GUI thread turns in between
        }
    }));
    sender->start();
    for (int step = 0; step < 300 || !sender->isFinished(); ++step) {
        view.setSize(QSizeF(200 + step % 7 * 10, 150 + step % 5 * 10));
        if (step % 10 == 0)
            view.flushFirstView();
        QCoreApplication::processEvents();
    }
    sender->wait();
    QCoreApplication::processEvents();
    surface.finish();
    EXPECT_TRUE(surface.faults.isEmpty()) << surface.faults.join(QStringLiteral("; ")).toStdString();
    ASSERT_FALSE(surface.shown.isEmpty());

    // The surface holds on to what it was given: nothing may have been written
    // into a frame once it was shown.
    int changed = 0;
    for (const CheckingSurface::Shown &shown : qAsConst(surface.shown))
        changed += uniformLuma(shown.frame) != shown.tag;
    EXPECT_EQ(changed, 0) << "of " << surface.shown.size() << " frames shown";
}

TEST(RenderView, PlaceholdersFromPlainAndQrcPathsAndTheImageView)
{
    const QImage plain = placeholder::compose(":/images/lumira_video_loading.jpg", 0, 0, QSize(320, 240));
    ASSERT_FALSE(plain.isNull());
    EXPECT_EQ(plain.size(), QSize(320, 240));
    EXPECT_EQ(plain, placeholder::compose("qrc:/images/lumira_video_loading.jpg", 0, 0, QSize(320, 240)));
    EXPECT_EQ(plain, placeholder::compose("", 0, 0, QSize(320, 240))) << "the loading picture by default";
    const QImage icon = placeholder::compose("qrc:/images/tips/alert_ic_ok.svg", 60, 60, QSize(480, 360));
    EXPECT_NE(icon.pixel(240, 180), plain.scaled(480, 360).pixel(240, 180)); // the icon is in the middle

    BCQmlRenderView view;
    RecordingSurface surface;
    view.setVideoSurface(&surface);
    view.flushFirstView("qrc:/images/lumira_video_loading.jpg");
    QCoreApplication::processEvents();
    ASSERT_EQ(surface.frames.size(), 1);
    EXPECT_EQ(surface.frames.first().size(), QSize(240, 180));
    view.flushFirstView("qrc:/no/such/picture.jpg");
    QCoreApplication::processEvents();
    EXPECT_EQ(surface.frames.size(), 1);

    // The image view paints its last image scaled, and zoomed about the centre.
    XImageView image;
    QImage red(40, 30, QImage::Format_RGB32);
    red.fill(Qt::red);
    image.setImage(red);
    QImage canvas(240, 180, QImage::Format_RGB32);
    for (const float zoom : { 1.0f, 0.5f }) {
        image.zoomDraw(zoom);
        canvas.fill(Qt::black);
        QPainter painter(&canvas);
        image.paint(&painter);
        painter.end();
        EXPECT_EQ(canvas.pixelColor(230, 170), QColor(zoom == 1.0f ? Qt::red : Qt::black)) << zoom;
    }
    EXPECT_EQ(canvas.pixelColor(100, 80), QColor(Qt::red));
}

int main(int argc, char **argv)
{
    testenv::enterSandbox("video");
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    lumira::initResources();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

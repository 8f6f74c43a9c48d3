#include "media/video/VideoFrameConvert.h"

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/imgutils.h>
}

#include <QDebug>
#include <QMutex>
#include <QMutexLocker>

#include <cstring>
#include <memory>
#include <vector>

namespace videoconvert
{
namespace
{

struct GraphDeleter {
    void operator()(AVFilterGraph *graph) const { avfilter_graph_free(&graph); }
};

struct CropGraph {
    std::unique_ptr<AVFilterGraph, GraphDeleter> graph;
    AVFilterContext *source = nullptr; // owned by the graph
    AVFilterContext *sink = nullptr;
    int width = 0;
    int height = 0;
    int format = 0;
};

QMutex g_cacheMutex;
std::vector<std::unique_ptr<CropGraph>> g_cache;

std::unique_ptr<CropGraph> buildGraph(int width, int height, int format)
{
    auto entry = std::make_unique<CropGraph>();
    entry->width = width;
    entry->height = height;
    entry->format = format;
    entry->graph.reset(avfilter_graph_alloc());
    if (!entry->graph) {
        qDebug("Fail to create filter graph!\n");
        return nullptr;
    }
    const QByteArray args = QStringLiteral("video_size=%1x%2:pix_fmt=%3:time_base=%4/%5:pixel_aspect=%6/%7")
                                .arg(width)
                                .arg(height)
                                .arg(format)
                                .arg(1)
                                .arg(25)
                                .arg(1)
                                .arg(1)
                                .toLatin1();
    if (avfilter_graph_create_filter(
            &entry->source, avfilter_get_by_name("buffer"), "in", args.constData(), nullptr, entry->graph.get())
        < 0) {
        qDebug("Fail to create filter bufferSrc\n");
        return nullptr;
    }
    if (avfilter_graph_create_filter(
            &entry->sink, avfilter_get_by_name("buffersink"), "out", nullptr, nullptr, entry->graph.get())
        < 0) {
        qDebug("Fail to create filter sink filter\n");
        return nullptr;
    }
    const CropRect rect = cropRect(width, height);
    const QByteArray cropArgs = QByteArray("out_w=") + QByteArray::number(rect.width) + ":out_h="
        + QByteArray::number(rect.height) + ":x=" + QByteArray::number(rect.x) + ":y=" + QByteArray::number(rect.y);
    AVFilterContext *crop = nullptr;
    if (avfilter_graph_create_filter(
            &crop, avfilter_get_by_name("crop"), "crop", cropArgs.constData(), nullptr, entry->graph.get())
        < 0) {
        qDebug("Fail to create crop filter\n");
        return nullptr;
    }
    if (avfilter_link(entry->source, 0, crop, 0) != 0) {
        qDebug("Fail to link split filter's second pad and crop filter\n");
        return nullptr;
    }
    if (avfilter_link(crop, 0, entry->sink, 0) != 0) {
        qDebug("Fail to link crop filter and sink filter\n");
        return nullptr;
    }
    if (avfilter_graph_config(entry->graph.get(), nullptr) < 0) {
        qDebug("Fail in filter graph\n");
        return nullptr;
    }
    return entry;
}

ffmpeg::FramePtr allocate(int width, int height, const int linesizes[3])
{
    ffmpeg::FramePtr frame(av_frame_alloc());
    if (!frame)
        return nullptr;
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = width;
    frame->height = height;
    for (int i = 0; i < 3; ++i)
        frame->linesize[i] = linesizes[i];
    if (av_frame_get_buffer(frame.get(), 32) < 0)
        return nullptr;
    return frame;
}

bool usable(int width, int height)
{
    return width > 0 && height > 0 && width <= kMaxSide && height <= kMaxSide && width % 2 == 0 && height % 2 == 0;
}

} // namespace

int cachedGraphCount()
{
    QMutexLocker lock(&g_cacheMutex);
    return int(g_cache.size());
}

CropRect cropRect(int width, int height)
{
    const int unit = std::min(height / 3, width / 4);
    const int w = 4 * unit;
    const int h = 3 * unit;
    return { w, h, (width - w) / 2, (height - h) / 2 };
}

ffmpeg::FramePtr cropTo4x3(ffmpeg::FramePtr frame)
{
    if (!frame || 4 * frame->height == 3 * frame->width)
        return frame;
    QMutexLocker lock(&g_cacheMutex);
    CropGraph *graph = nullptr;
    for (const auto &entry : g_cache)
        if (entry->width == frame->width && entry->height == frame->height && entry->format == frame->format)
            graph = entry.get();
    if (!graph) {
        std::unique_ptr<CropGraph> built = buildGraph(frame->width, frame->height, frame->format);
        if (!built)
            return frame;
        graph = built.get();
        g_cache.push_back(std::move(built));
    }
    // The source takes its own reference, so the input stays ours.
    if (av_buffersrc_add_frame_flags(graph->source, frame.get(), AV_BUFFERSRC_FLAG_KEEP_REF) < 0)
        return frame;
    ffmpeg::FramePtr cropped(av_frame_alloc());
    if (!cropped || av_buffersink_get_frame(graph->sink, cropped.get()) < 0)
        return frame;
    return cropped;
}

ffmpeg::FramePtr fromI420(const VendorVideoFrame &in)
{
    if (!usable(in.width, in.height) || !in.planes[0] || !in.planes[1] || !in.planes[2] || in.strides[0] < in.width
        || in.strides[1] < in.width / 2 || in.strides[2] < in.width / 2)
        return nullptr;
    ffmpeg::FramePtr frame = allocate(in.width, in.height, in.strides);
    if (!frame)
        return nullptr;
    // Row by row: the allocated line sizes may be padded past the strides.
    for (int plane = 0; plane < 3; ++plane) {
        const int rows = plane ? in.height / 2 : in.height;
        const int bytes = plane ? in.width / 2 : in.width;
        for (int r = 0; r < rows; ++r)
            std::memcpy(frame->data[plane] + r * frame->linesize[plane], in.planes[plane] + r * in.strides[plane],
                size_t(bytes));
    }
    return cropTo4x3(std::move(frame));
}

ffmpeg::FramePtr fromI420Lengths(int width, int height, const uint8_t *const planes[3], const int lengths[3])
{
    if (!usable(width, height))
        return nullptr;
    VendorVideoFrame in;
    in.width = width;
    in.height = height;
    in.strides[0] = lengths[0] / height;
    in.strides[1] = 2 * lengths[1] / height;
    in.strides[2] = 2 * lengths[2] / height;
    for (int i = 0; i < 3; ++i)
        in.planes[i] = planes[i];
    return fromI420(in);
}

ffmpeg::FramePtr fromI420Buffer(int width, int height, const uint8_t *data, int64_t length)
{
    if (!usable(width, height) || !data || length < av_image_get_buffer_size(AV_PIX_FMT_YUV420P, width, height, 1))
        return nullptr;
    uint8_t *srcData[4] = {};
    int srcLinesize[4] = {};
    if (av_image_fill_arrays(srcData, srcLinesize, data, AV_PIX_FMT_YUV420P, width, height, 1) < 0)
        return nullptr;
    ffmpeg::FramePtr frame(av_frame_alloc());
    if (!frame)
        return nullptr;
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = width;
    frame->height = height;
    if (av_frame_get_buffer(frame.get(), 32) < 0)
        return nullptr;
    // One context per thread and size: the engines' render threads each keep theirs.
    thread_local ffmpeg::SwsPtr sws;
    sws.reset(sws_getCachedContext(sws.release(), width, height, AV_PIX_FMT_YUV420P, width, height, AV_PIX_FMT_YUV420P,
        SWS_BICUBIC, nullptr, nullptr, nullptr));
    if (!sws || sws_scale(sws.get(), srcData, srcLinesize, 0, height, frame->data, frame->linesize) != height)
        return nullptr;
    return cropTo4x3(std::move(frame));
}

QImage toImage(const AVFrame *frame)
{
    if (!frame || frame->format != AV_PIX_FMT_YUV420P || frame->width <= 0 || frame->height <= 0)
        return {};
    QImage image(frame->width, frame->height, QImage::Format_RGB32);
    if (image.isNull())
        return {};
    // RGB32 in a QImage is BGRA in memory on little-endian machines.
    ffmpeg::SwsPtr sws(sws_getContext(frame->width, frame->height, AV_PIX_FMT_YUV420P, frame->width, frame->height,
        AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr));
    if (!sws)
        return {};
    uint8_t *dst[4] = { image.bits(), nullptr, nullptr, nullptr };
    int dstStride[4] = { static_cast<int>(image.bytesPerLine()), 0, 0, 0 };
    if (sws_scale(sws.get(), frame->data, frame->linesize, 0, frame->height, dst, dstStride) != frame->height)
        return {};
    return image;
}

} // namespace videoconvert

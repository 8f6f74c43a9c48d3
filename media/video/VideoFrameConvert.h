#pragma once

#include "media/ffmpeg/FFmpegPtr.h"

#include <QImage>

#include <cstdint>

// One vendor video frame: I420 planes with their strides (or, for vendors that
// give byte lengths, the lengths of the planes).
struct VendorVideoFrame {
    int width = 0;
    int height = 0;
    int strides[3] = { 0, 0, 0 };
    const uint8_t *planes[3] = { nullptr, nullptr, nullptr };
};

namespace videoconvert
{

// Largest side a frame may have; larger ones are dropped by the engines.
constexpr int kMaxSide = 10000;

// Copies an I420 frame into a new YUV420P frame (32-byte aligned) and crops
// it to 4:3 unless it already is. Null when the record is unusable.
ffmpeg::FramePtr fromI420(const VendorVideoFrame &frame);

// The same for vendors that give plane byte lengths instead of strides.
ffmpeg::FramePtr fromI420Lengths(int width, int height, const uint8_t *const planes[3], const int lengths[3]);

// The same for vendors that give one I420 buffer, planes back to back: the
// buffer is wrapped as a picture (alignment 1) and converted by swscale into
// a new YUV420P frame (32-byte aligned), then cropped. Null when `length` is
// short of the picture.
ffmpeg::FramePtr fromI420Buffer(int width, int height, const uint8_t *data, int64_t length);

// RGB picture of a YUV420P frame for the software tiles; null on failure.
QImage toImage(const AVFrame *frame);

// Crops to the largest centred 4:3 rectangle through a filter graph kept per
// (width, height, format). Returns the input when it is already 4:3 or the
// graph cannot be built.
ffmpeg::FramePtr cropTo4x3(ffmpeg::FramePtr frame);

// Filter graphs built so far (one per distinct input).
int cachedGraphCount();

struct CropRect {
    int width, height, x, y;
};
CropRect cropRect(int width, int height);

} // namespace videoconvert

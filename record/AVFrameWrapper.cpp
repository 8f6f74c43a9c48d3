#include "record/AVFrameWrapper.h"

extern "C" {
#include <libavutil/frame.h>
}

AVFrameWrapper::AVFrameWrapper(AVFrame *frame)
    : m_frame(frame)
{
    // Queued connections between engine and recorder threads carry it.
    static const int type = qRegisterMetaType<QSharedPointer<AVFrameWrapper>>("QSharedPointer<AVFrameWrapper>");
    Q_UNUSED(type)
}

AVFrameWrapper::~AVFrameWrapper()
{
    if (m_frame) {
        av_frame_unref(m_frame);
        av_frame_free(&m_frame);
    }
}

#include "media/MediaEngine.h"

#include "app/TSpdlog.h"

MediaEngine::MediaEngine(const QString &tag, QObject *parent)
    : QObject(parent)
    , m_tag(tag)
{
}

bool MediaEngine::deliverAudio(const AudioConvertInput &input, bool mic)
{
    ffmpeg::FramePtr converted = (mic ? m_micConvert : m_speakerConvert).convert(input);
    if (!converted) {
        TSpdlog::instance()->avError(QStringLiteral("%1 %2 frame convert error")
                                         .arg(m_tag, mic ? QStringLiteral("mic") : QStringLiteral("speaker")));
        return false;
    }
    auto wrapper = QSharedPointer<AVFrameWrapper>::create(converted.release());
    if (mic) {
        ++m_micFrames;
        emit micFrame(wrapper);
    } else {
        ++m_speakerFrames;
        emit spkFrame(wrapper);
    }
    return true;
}

void MediaEngine::resetFrameCounts()
{
    m_micFrames = 0;
    m_speakerFrames = 0;
}

#pragma once

#include <QObject>
#include <QSharedPointer>

struct AVFrame;

// Sole owner of one audio frame on its way from a media engine to the recorder.
class AVFrameWrapper : public QObject
{
    Q_OBJECT
public:
    explicit AVFrameWrapper(AVFrame *frame);
    ~AVFrameWrapper() override;

    AVFrame *frame() const { return m_frame; }

private:
    AVFrame *m_frame;
};

Q_DECLARE_METATYPE(QSharedPointer<AVFrameWrapper>)

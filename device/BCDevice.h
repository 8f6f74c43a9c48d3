#pragma once

#include "device/DeviceChoice.h"

#include <QAudio>
#include <QAudioDeviceInfo>
#include <QAudioFormat>
#include <QCameraInfo>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <memory>

class GenerateImage;
class LoopBuffer;
class QAudioInput;
class QAudioOutput;
class QCamera;
class QThread;
class VideoSurface;

// The machine's cameras, microphones and speakers: lists them, keeps the
// user's choice of each in the settings, opens one of each for the device
// test and plays the test music on a chosen speaker.
class BCDevice : public QObject
{
    Q_OBJECT
public:
    explicit BCDevice(QObject *parent = nullptr);
    ~BCDevice() override;

    // The process-wide device manager, created on first use.
    static BCDevice *instance();

    GenerateImage *generateImage() const { return m_generate; }
    VideoSurface *videoSurface() const { return m_surface; }
    LoopBuffer *recordBuffer() const { return m_recordBuffer; }
    Q_INVOKABLE bool isPlaying() const { return m_playing; }
    // Start-up: one enumeration of each kind without a stored choice (index
    // -1), then its default choice. Failure bits as resetDefaultDevice.
    uchar setStartupDefaults();

    int openCameraIndex() const { return m_cameraIndex; }
    int openMicrophoneIndex() const { return m_micIndex; }
    int openSpeakerIndex() const { return m_speakerIndex; }
    QAudioFormat audioParams() const;

    static constexpr qint64 kRecordBufferBytes = 0x100000;
    // Four seconds at 8000 Hz, stereo, 16 bits, and a little room.
    static constexpr qint64 kPlaybackBufferBytes = 8000 * 2 * 16 / 2 + 1024;
    static constexpr int kPlaybackRate = 8000;

public slots:
    QStringList getCameras();
    QStringList getMicrophones();
    QStringList getLoudspeakers();
    QStringList getCameraIdList() const { return m_cameraIds; }
    QStringList getMicrophoneIdList() const { return m_mics.ids; }
    QStringList getLoudspeakerIdList() const { return m_speakers.ids; }

    bool setDefaultCameraDevice();
    bool setDefaultMicDevice();
    bool setDefaultSpeakerDevice();
    uchar resetDefaultDevice();
    void updateDevice();
    void setAudioParam(int sampleRate, int channels, int sampleBites);
    bool supportResolution(QString uuid, int width, int height, int fps = -1);

    bool startCamera(int index);
    bool startMicrophone(int index);
    bool startLoudspeaker(int index);
    bool stopCamera();
    bool stopMicrophone();
    bool stopLoudspeaker();
    bool stopAll();

    bool playMp3(QString file, int speakerIndex);
    bool stopMp3();

    void dumpInfo();
    qlonglong currentThreadId();

signals:
    void sgStopMp3();
    void micWaveStrength(double value);
    // The test music played to its end and its playback was released.
    void sgMp3Finished();

private:
    enum class Kind { Microphone, Speaker };
    struct AudioList {
        QList<QAudioDeviceInfo> devices;
        QStringList names;
        QStringList ids;
        // Every device that passed the 8000 Hz check, before endpoint
        // matching: the default choice picks from these without probing again.
        QList<QAudioDeviceInfo> capable;
    };

    QStringList enumerateAudio(Kind kind);
    // The default choices on the lists of the last enumeration.
    bool chooseDefaultCamera();
    bool chooseDefaultAudio(Kind kind);
    lumira::device::StoredDevice stored(Kind kind) const;
    void store(Kind kind, const lumira::device::StoredDevice &choice) const;
    void storeCamera(const lumira::device::StoredDevice &choice) const;
    QAudioFormat formatFor(const QAudioDeviceInfo &device, const QAudioFormat &wanted,
        const char *warning = "Default format not supported - trying to use nearest") const;
    void releaseCamera();
    void onDecodeEnded(int session, qint64 bytes);
    void onPlaybackEnded();

    QList<QCameraInfo> m_cameras;
    QStringList m_cameraIds;
    AudioList m_mics;
    AudioList m_speakers;
    int m_cameraIndex = -1;
    int m_micIndex = -1;
    int m_speakerIndex = -1;
    int m_sampleRate = 44100;
    int m_channels = 2;
    int m_sampleBits = 16;

    // Children: replaced devices are stopped and deleted later.
    LoopBuffer *m_recordBuffer;
    VideoSurface *m_surface;
    GenerateImage *m_generate;
    QPointer<QAudioInput> m_input;
    QPointer<QAudioOutput> m_output;
    QPointer<QCamera> m_camera;

    // Test music: a decoder thread feeds the playback buffer, an output
    // thread plays it.
    QPointer<QThread> m_decoderThread;
    QPointer<QThread> m_outputThread;
    std::unique_ptr<LoopBuffer> m_playBuffer;
    bool m_playing = false;
    int m_playSession = 0;
};

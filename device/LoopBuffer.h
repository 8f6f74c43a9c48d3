#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QMutex>
#include <QWaitCondition>

// Fixed-size ring buffer as a QIODevice, between a writer (microphone or MP3
// decoder) and a Qt Multimedia output; it also reports the signal level of
// what is written.
class LoopBuffer : public QIODevice
{
    Q_OBJECT
public:
    enum WriteMode {
        RefuseLargerThanCapacity = 0,
        KeepNewest = 1,
        RefuseLargerThanFree = 2,
    };

    LoopBuffer(qint64 capacity, int writeMode, bool blocking = false, QObject *parent = nullptr);

    bool open(OpenMode mode) override; // always unbuffered as well
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override;
    bool reset() override; // empty, and a blocking reader's patience is restored

    void setSampleLayout(int sampleSizeBits, int channels);
    qint64 capacity() const { return m_storage.size(); }
    qint64 freeBytes() const;

    static constexpr int kReadTimeoutMs = 100;
    static constexpr int kMaxReadTimeouts = 4;

signals:
    void volume(double value);

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 size) override;

private:
    struct Layout {
        int sampleBits;
        int channels;
    };
    qint64 store(const char *data, qint64 size, Layout &layout);
    void emitLevel(const char *data, qint64 size, Layout layout);
    qint64 storedBytes() const { return capacity() - m_free; }

    // The writer and the reader (Qt Multimedia) run on different threads: the
    // state below is used under the lock. A blocking reader goes by what is
    // stored and nothing else, checked under the lock the writer stores under.
    mutable QMutex m_lock;
    QWaitCondition m_stored; // a blocking buffer's: woken whenever bytes are stored
    QByteArray m_storage; // its size never changes
    qint64 m_writePos = 0;
    qint64 m_readPos = 0;
    qint64 m_free;
    const int m_mode;
    const bool m_blocking;
    int m_timeouts = 0; // the blocking reader's attempts since it last got data
    Layout m_layout { 16, 2 };
};

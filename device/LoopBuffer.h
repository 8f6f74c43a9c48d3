#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QMutex>
#include <QSemaphore>

#include <atomic>

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
    bool reset() override; // empty; a blocking buffer gets a fresh semaphore

    void setSampleLayout(int sampleSizeBits, int channels);
    qint64 capacity() const { return m_storage.size(); }
    qint64 freeBytes() const { return m_free; }

    static constexpr int kReadTimeoutMs = 100;
    static constexpr int kMaxReadTimeouts = 4;

signals:
    void volume(double value);

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 size) override;

private:
    qint64 store(const char *data, qint64 size);
    void emitLevel(const char *data, qint64 size);
    void syncReadable(); // a blocking buffer's semaphore follows what is stored

    // The writer and the reader (Qt Multimedia) run on different threads.
    mutable QMutex m_lock;
    QByteArray m_storage;
    qint64 m_writePos = 0;
    qint64 m_readPos = 0;
    qint64 m_free;
    int m_mode;
    bool m_blocking;
    QSemaphore m_readable;
    std::atomic<int> m_timeouts { 0 }; // the reader's, reset by any thread
    int m_sampleBits = 16;
    int m_channels = 2;
};

#include "device/LoopBuffer.h"

#include <QDebug>
#include <QMutexLocker>

#include <cstring>

LoopBuffer::LoopBuffer(qint64 capacity, int writeMode, bool blocking, QObject *parent)
    : QIODevice(parent)
    , m_storage(int(qMax<qint64>(1, capacity)), '\0')
    , m_free(m_storage.size())
    , m_mode(writeMode)
    , m_blocking(blocking)
{
}

bool LoopBuffer::open(OpenMode mode) { return QIODevice::open(mode | QIODevice::Unbuffered); }

qint64 LoopBuffer::bytesAvailable() const
{
    QMutexLocker lock(&m_lock);
    return capacity() - m_free + QIODevice::bytesAvailable();
}

void LoopBuffer::syncReadable()
{
    const int stored = int(capacity() - m_free);
    const int counted = m_readable.available();
    if (stored > counted)
        m_readable.release(stored - counted);
    else if (counted > stored)
        m_readable.tryAcquire(counted - stored);
}

bool LoopBuffer::reset()
{
    QMutexLocker lock(&m_lock);
    m_writePos = m_readPos = 0;
    m_free = capacity();
    m_timeouts = 0;
    if (m_blocking)
        m_readable.tryAcquire(m_readable.available());
    return true;
}

void LoopBuffer::setSampleLayout(int sampleSizeBits, int channels)
{
    m_sampleBits = sampleSizeBits;
    m_channels = qMax(1, channels);
}

qint64 LoopBuffer::writeData(const char *data, qint64 size)
{
    const qint64 written = store(data, size);
    if (written > 0)
        emitLevel(data, size); // outside the lock: receivers may touch the buffer
    return written;
}

qint64 LoopBuffer::store(const char *data, qint64 size)
{
    QMutexLocker lock(&m_lock);
    const qint64 cap = capacity();
    switch (m_mode) {
    case RefuseLargerThanCapacity:
        if (size > cap)
            return 0;
        break;
    case KeepNewest:
        if (size > cap) {
            // Only the newest `cap` bytes can stay; they fill the whole buffer.
            std::memcpy(m_storage.data(), data + (size - cap), size_t(cap));
            m_writePos = m_readPos = 0;
            m_free = 0;
            if (m_blocking)
                syncReadable();
            return size;
        }
        break;
    case RefuseLargerThanFree:
        if (size > m_free)
            return 0;
        break;
    default:
        qDebug() << "error";
        break;
    }
    const qint64 first = qMin(size, cap - m_writePos);
    std::memcpy(m_storage.data() + m_writePos, data, size_t(first));
    std::memcpy(m_storage.data(), data + first, size_t(size - first));
    const qint64 stored = cap - m_free;
    m_writePos = (m_writePos + size) % cap;
    if (stored + size >= cap) {
        // The writer passed the reader: the oldest bytes are gone.
        m_readPos = m_writePos;
        m_free = 0;
    } else {
        m_free -= size;
    }
    if (m_blocking)
        syncReadable();
    return size;
}

qint64 LoopBuffer::readData(char *data, qint64 maxSize)
{
    if (m_blocking) {
        while (!m_readable.tryAcquire(int(maxSize), kReadTimeoutMs))
            if (++m_timeouts > kMaxReadTimeouts)
                return 0;
    }
    QMutexLocker lock(&m_lock);
    const qint64 cap = capacity();
    if (maxSize <= cap && cap - m_free >= maxSize) {
        const qint64 first = qMin(maxSize, cap - m_readPos);
        std::memcpy(data, m_storage.constData() + m_readPos, size_t(first));
        std::memcpy(data + first, m_storage.constData(), size_t(maxSize - first));
        m_readPos = (m_readPos + maxSize) % cap;
        m_free += maxSize;
        m_timeouts = 0;
        return maxSize;
    }
    // A reader that outruns the writer hears silence rather than an underrun.
    std::memset(data, 0, size_t(maxSize));
    return maxSize;
}

void LoopBuffer::emitLevel(const char *data, qint64 size)
{
    const int step = (m_sampleBits * 4 / 8) * m_channels;
    if (step <= 0)
        return;
    const auto *bytes = reinterpret_cast<const unsigned char *>(data);
    for (qint64 i = 0; i + (m_sampleBits > 8 ? 1 : 0) < size; i += step) {
        double value;
        if (m_sampleBits == 8)
            value = (double(bytes[i]) - 128) / 128;
        else
            value = double(int16_t(uint16_t(bytes[i]) | uint16_t(bytes[i + 1]) << 8)) / 32768;
        if (value > 0)
            emit volume(value);
    }
}

#include "device/LoopBuffer.h"

#include <QDeadlineTimer>
#include <QDebug>
#include <QMutexLocker>

#include <QLoggingCategory>
#include <cstring>

namespace
{
// Developer traces, off unless QT_LOGGING_RULES turns "lumira.device.debug" on.
Q_LOGGING_CATEGORY(lcDevice, "lumira.device", QtInfoMsg)
} // namespace

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
    return storedBytes() + QIODevice::bytesAvailable();
}

qint64 LoopBuffer::freeBytes() const
{
    QMutexLocker lock(&m_lock);
    return m_free;
}

bool LoopBuffer::reset()
{
    QMutexLocker lock(&m_lock);
    m_writePos = m_readPos = 0;
    m_free = capacity();
    m_timeouts = 0;
    return true;
}

void LoopBuffer::setSampleLayout(int sampleSizeBits, int channels)
{
    QMutexLocker lock(&m_lock);
    m_layout = { sampleSizeBits, qMax(1, channels) };
}

qint64 LoopBuffer::writeData(const char *data, qint64 size)
{
    Layout layout;
    const qint64 written = store(data, size, layout);
    if (written > 0)
        emitLevel(data, size, layout); // outside the lock: receivers may touch the buffer
    return written;
}

qint64 LoopBuffer::store(const char *data, qint64 size, Layout &layout)
{
    QMutexLocker lock(&m_lock);
    layout = m_layout;
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
                m_stored.wakeAll();
            return size;
        }
        break;
    case RefuseLargerThanFree:
        if (size > m_free)
            return 0;
        break;
    default:
        qCDebug(lcDevice) << "error";
        break;
    }
    const qint64 first = qMin(size, cap - m_writePos);
    std::memcpy(m_storage.data() + m_writePos, data, size_t(first));
    std::memcpy(m_storage.data(), data + first, size_t(size - first));
    const qint64 stored = storedBytes();
    m_writePos = (m_writePos + size) % cap;
    if (stored + size >= cap) {
        // The writer passed the reader: the oldest bytes are gone.
        m_readPos = m_writePos;
        m_free = 0;
    } else {
        m_free -= size;
    }
    if (m_blocking)
        m_stored.wakeAll();
    return size;
}

qint64 LoopBuffer::readData(char *data, qint64 maxSize)
{
    QMutexLocker lock(&m_lock);
    if (m_blocking) {
        // Each attempt waits up to kReadTimeoutMs for all of `maxSize`.
        QDeadlineTimer attempt(kReadTimeoutMs);
        while (storedBytes() < maxSize) {
            if (!m_stored.wait(&m_lock, attempt)) {
                if (++m_timeouts > kMaxReadTimeouts)
                    return 0;
                attempt.setRemainingTime(kReadTimeoutMs);
            }
        }
    }
    const qint64 cap = capacity();
    if (maxSize <= cap && storedBytes() >= maxSize) {
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

void LoopBuffer::emitLevel(const char *data, qint64 size, Layout layout)
{
    const int step = (layout.sampleBits * 4 / 8) * layout.channels;
    if (step <= 0)
        return;
    const auto *bytes = reinterpret_cast<const unsigned char *>(data);
    for (qint64 i = 0; i + (layout.sampleBits > 8 ? 1 : 0) < size; i += step) {
        double value;
        if (layout.sampleBits == 8)
            value = (double(bytes[i]) - 128) / 128;
        else
            value = double(int16_t(uint16_t(bytes[i]) | uint16_t(bytes[i + 1]) << 8)) / 32768;
        if (value > 0)
            emit volume(value);
    }
}

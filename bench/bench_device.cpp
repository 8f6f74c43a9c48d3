// Device test buffers: the microphone's ring buffer per 10 ms block (with its
// level measurement) against a bare memcpy, the heap allocations it makes,
// and decoding the test music against real time.
#include "app/TSpdlog.h"
#include "device/LoopBuffer.h"
#include "device/Mp3Decode.h"

#include <QCoreApplication>
#include <QDir>

#include <benchmark/benchmark.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

namespace
{
std::atomic<long> g_allocations { 0 };
}

void *operator new(std::size_t size)
{
    ++g_allocations;
    if (void *p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }

namespace
{

// 10 ms of 44.1 kHz stereo 16-bit: what a microphone delivers per block.
QByteArray micBlock()
{
    QByteArray block(441 * 4, 0);
    auto *s = reinterpret_cast<int16_t *>(block.data());
    for (int i = 0; i < 441; ++i)
        s[2 * i] = s[2 * i + 1] = int16_t(12000 * std::sin(2 * 3.14159265 * 440 * i / 44100.0));
    return block;
}

void BM_RecordBufferBlock(benchmark::State &state)
{
    LoopBuffer buffer(0x100000, LoopBuffer::KeepNewest);
    buffer.open(QIODevice::ReadWrite);
    double peak = 0;
    QObject::connect(&buffer, &LoopBuffer::volume, [&peak](double v) { peak = v > peak ? v : peak; });
    const QByteArray block = micBlock();
    QByteArray out(block.size(), 0);
    long allocations = 0;
    for (auto _ : state) {
        const long before = g_allocations;
        buffer.write(block.constData(), block.size());
        buffer.read(out.data(), out.size());
        allocations += g_allocations - before;
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * block.size());
    state.counters["allocs_per_block"] = double(allocations) / double(state.iterations());
    state.counters["peak"] = peak;
}
BENCHMARK(BM_RecordBufferBlock);

void BM_MemcpyBlock(benchmark::State &state)
{
    const QByteArray block = micBlock();
    QByteArray ring(0x100000, 0), out(block.size(), 0);
    size_t at = 0;
    for (auto _ : state) {
        std::memcpy(ring.data() + at, block.constData(), size_t(block.size()));
        std::memcpy(out.data(), ring.constData() + at, size_t(block.size()));
        at = (at + size_t(block.size())) % (size_t(ring.size()) - size_t(block.size()));
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * block.size());
}
BENCHMARK(BM_MemcpyBlock);

void BM_DecodeTestMusic(benchmark::State &state)
{
    for (auto _ : state) {
        LoopBuffer buffer(400000, LoopBuffer::RefuseLargerThanFree);
        buffer.open(QIODevice::ReadWrite);
        Mp3Decode decoder(QStringLiteral(LUMIRA_BIN_DIR "/TestDeviceMusic.mp3"));
        decoder.setBuffer(&buffer);
        decoder.run();
        benchmark::DoNotOptimize(buffer.bytesAvailable());
    }
    // The music is 8 s long: how many times faster than it plays.
    state.counters["x_real_time"] = benchmark::Counter(8.0 * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DecodeTestMusic)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString log = QDir::temp().filePath(QStringLiteral("bench_device.log"));
    TSpdlog::create(log, log);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}

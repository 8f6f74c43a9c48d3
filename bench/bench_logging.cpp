// Lines per second through TSpdlog against raw spdlog on the same kind of file
// sink. The debug output is sent nowhere, as on a machine with no debugger.
#include "app/TSpdlog.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <spdlog/pattern_formatter.h>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/spdlog.h>

namespace
{

QTemporaryDir &dir()
{
    static QTemporaryDir d;
    return d;
}

void BM_TSpdlog(benchmark::State &state)
{
    TSpdlog log(dir().path() + "/tspdlog.log");
    const QString text = QStringLiteral("音频帧 mic frame 160 samples, room 12345");
    for (auto _ : state)
        log.avInfo(text);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TSpdlog);

void BM_RawSpdlog(benchmark::State &state)
{
    auto sink = std::make_shared<spdlog::sinks::basic_file_sink_mt>((dir().path() + "/raw.log").toStdString(), false);
    spdlog::logger logger("raw-bench", sink);
    logger.set_formatter(std::make_unique<spdlog::pattern_formatter>(
        "[%Y-%m-%d %H:%M:%S.%e][thread %t][%l] : %v", spdlog::pattern_time_type::local, std::string("\r\n")));
    logger.flush_on(spdlog::level::err);
    const std::string text = " [AV_Type] 音频帧 mic frame 160 samples, room 12345";
    for (auto _ : state)
        logger.info(text);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RawSpdlog);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}

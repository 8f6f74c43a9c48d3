// Round trip page -> native -> qtQueryCallback in Qt WebEngine, measured in
// the page with performance.now(): 1000 sequential requests answered at once
// ("jsVersion://") and 1000 that pass the message registry ("system_info://").
// Run under a display (xvfb-run -a bench_bridge).
#include "../tests/BrowserHarness.h"
#include "../tests/TestEnv.h"

#include <QApplication>
#include <QJsonObject>

#include <cstdio>

using harness::BrowserHarness;

int main(int argc, char **argv)
{
    testenv::enterSandbox("bench-bridge");
    QCoreApplication::setOrganizationName(QStringLiteral("kestrelon"));
    QCoreApplication::setApplicationName(QStringLiteral("lumira"));
    QCefApp::prepareProcess();
    QApplication app(argc, argv);
    const int count = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 1000;

    const QString page = harness::writePage(QStringLiteral("bench.html"), harness::pageWithScript(QStringLiteral(R"JS(
function percentile(sorted, p) { return sorted[Math.min(sorted.length - 1, Math.floor(sorted.length * p))]; }
function runBench(request, count) {
    var times = [];
    var next = function () {
        if (times.length === count) {
            times.sort(function (a, b) { return a - b; });
            report('done:' + request, {p50: percentile(times, 0.5), p99: percentile(times, 0.99),
                                       max: times[times.length - 1]});
            return;
        }
        var started = performance.now();
        qtQuery({request: request, onSuccess: function () { times.push(performance.now() - started); next(); },
                 onFailure: function () { report('failed', request); }});
    };
    next();
}
window.addEventListener('load', function () { report('loaded', ''); });
)JS")));

    BrowserHarness h(page);
    if (!h.waitForReport(QStringLiteral("loaded"))) {
        std::fprintf(stderr, "page did not load\n");
        return 1;
    }
    int rc = 0;
    for (const char *request : { "jsVersion://", "system_info://" }) {
        // A short warm-up so that the JIT and the channel are settled.
        const QString name = QString::fromLatin1(request);
        h.cef->sendToWeb(QStringLiteral("runBench('%1', 50)").arg(name));
        h.waitForReport(QStringLiteral("done:") + name, 60000);
        h.reports.clear();
        h.cef->sendToWeb(QStringLiteral("runBench('%1', %2)").arg(name).arg(count));
        if (!h.waitForReport(QStringLiteral("done:") + name, 300000)) {
            std::fprintf(stderr, "%s: no result\n", request);
            rc = 1;
            continue;
        }
        const QJsonObject result = h.reportOf(QStringLiteral("done:") + name)->data.toObject();
        std::printf("%-16s n=%d p50=%.3f ms p99=%.3f ms max=%.3f ms\n", request, count,
            result.value(QStringLiteral("p50")).toDouble(), result.value(QStringLiteral("p99")).toDouble(),
            result.value(QStringLiteral("max")).toDouble());
    }
    return rc;
}

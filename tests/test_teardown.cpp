// Tearing down the window and the browser while the page starts a recording,
// over and over, at every stage of the start: before the request leaves the
// page, while it crosses the bridge, while the recorder opens the file, and
// just after the page was answered.
#include "AudioCheck.h"
#include "BrowserHarness.h"
#include "TestEnv.h"

#include "record/AudioDataDispatcher.h"

#include <QApplication>
#include <QFileInfo>
#include <QRandomGenerator>

#include <gtest/gtest.h>

using harness::BrowserHarness;
using harness::pageWithScript;
using harness::waitUntil;
using harness::writePage;

namespace
{

int iterations()
{
    bool ok = false;
    const int n = qEnvironmentVariableIntValue("LUMIRA_TEARDOWN_ITERATIONS", &ok);
    return ok && n > 0 ? n : 200;
}

} // namespace

TEST(Teardown, WindowAndBrowserGoWhileTheRecordingStarts)
{
    RecordState &state = RecordState::process();
    QRandomGenerator random(20261207);
    const int total = iterations();
    int answered = 0, asked = 0;
    QString answeredFile;
    for (int i = 0; i < total; ++i) {
        SCOPED_TRACE(i);
        const QString token = QStringLiteral("stress%1").arg(i);
        const QString page = writePage(QStringLiteral("teardown.html"),
            pageWithScript(QStringLiteral(R"JS(
qtQuery({request: 'record://', oper: 'start', token: '%1', userId: '7', cls_user_type: 'teacher',
         onSuccess: function () { report('record-ok', ''); }});
report('sent', '');
)JS")
                               .arg(token)));
        {
            BrowserHarness h(page);
            ASSERT_EQ(h.initResult, -1);
            switch (i % 4) {
            case 0: // the page may not even have been parsed
                break;
            case 1:
                h.waitForReport(QStringLiteral("sent"));
                break;
            case 2: // the recorder has taken the request and is opening the file
                waitUntil([&] { return !state.currentRecordToken().isEmpty(); });
                break;
            default:
                ++asked;
                if (h.waitForReport(QStringLiteral("record-ok"))) {
                    ++answered;
                    answeredFile = DirHelper::instance()->recordPath() + QLatin1Char('/')
                        + AudioDataDispatcher::fileName(token, QStringLiteral("7"));
                }
                harness::processEventsFor(int(random.bounded(30)));
                break;
            }
        }
        // Whatever the stage, the lesson's file is closed with the window.
        EXPECT_TRUE(state.fileClosed.load());
        EXPECT_EQ(state.store.load(), nullptr);
        EXPECT_TRUE(state.currentRecordToken().isEmpty());
        if (HasFailure())
            break;
    }
    EXPECT_EQ(answered, asked);

    // A recording cut short with its window is still a whole MP3 stream.
    if (!answeredFile.isEmpty() && QFileInfo(answeredFile).size() > 0) {
        EXPECT_EQ(audiocheck::decode(answeredFile).channels, 2);
    }
}

int main(int argc, char **argv) { return harness::runBrowserTests(argc, argv, "teardown"); }

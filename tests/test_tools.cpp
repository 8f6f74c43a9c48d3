// Process sweep on real processes, file and archive helpers, dialog widgets.
#include "TestEnv.h"

#include "app/AppStartup.h"
#include "platform/ProcessTable.h"
#include "ui/LMRMessageBox.h"
#include "ui/Tools.h"
#include "ui/uploadProgressDialog.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <QTranslator>

#include <gtest/gtest.h>

namespace
{

QString sandbox(const QString &name) { return testenv::sandboxRoot() + "/" + name; }

bool waitGone(QProcess &p) { return p.state() == QProcess::NotRunning || p.waitForFinished(5000); }

TEST(Sweep, KillsOnlyProcessesOfThatName)
{
    const QString probe = sandbox("lumira_sweep_probe");
    QFile::remove(probe);
    ASSERT_TRUE(QFile::copy("/bin/sleep", probe));
    QFile::setPermissions(probe, QFile::ReadOwner | QFile::ExeOwner | QFile::WriteOwner);
    QProcess a, b, other;
    a.start(probe, { "60" });
    b.start(probe, { "60" });
    other.start("/bin/sleep", { "60" });
    ASSERT_TRUE(a.waitForStarted() && b.waitForStarted() && other.waitForStarted());

    EXPECT_TRUE(Tools::isProcessRunning("LUMIRA_SWEEP_PROBE")) << "names compare case-insensitively";
    EXPECT_EQ(Tools::killProcessByName("Lumira_Sweep_Probe"), 2);
    EXPECT_TRUE(waitGone(a));
    EXPECT_TRUE(waitGone(b));
    EXPECT_EQ(other.state(), QProcess::Running);
    EXPECT_FALSE(Tools::isProcessRunning("lumira_sweep_probe"));
    other.kill();
    other.waitForFinished();
}

TEST(Sweep, NeverKillsItself)
{
    const QString self = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    QProcess twin;
    twin.start(QCoreApplication::applicationFilePath(), { "--sleep-child" });
    ASSERT_TRUE(twin.waitForStarted());
    QThread::msleep(200);
    EXPECT_EQ(Tools::killProcessByName(self), 1);
    EXPECT_TRUE(waitGone(twin));
    EXPECT_EQ(twin.exitStatus(), QProcess::CrashExit);
    // Still here to tell.
    EXPECT_TRUE(Tools::isProcessRunning(self));
}

TEST(Files, CopyRemoveZipUnzip)
{
    const QString src = sandbox("src");
    QDir().mkpath(src + "/a/b");
    {
        QFile f(src + "/a/b/note.txt");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("class 42");
        QFile g(src + "/top.log");
        ASSERT_TRUE(g.open(QIODevice::WriteOnly));
        g.write(QByteArray(100000, 'x'));
    }
    ASSERT_TRUE(Tools::copyDirectory(src, sandbox("copy")));
    QFile copied(sandbox("copy/a/b/note.txt"));
    ASSERT_TRUE(copied.open(QIODevice::ReadOnly));
    EXPECT_EQ(copied.readAll(), "class 42");

    ASSERT_TRUE(Tools::zipDirectory(sandbox("logs.zip"), src));
    const QStringList files = Tools::unzipArchive(sandbox("logs.zip"), sandbox("unzipped"));
    EXPECT_TRUE(files.contains(sandbox("unzipped/top.log")));
    EXPECT_TRUE(files.contains(sandbox("unzipped/a/b/note.txt")));
    EXPECT_EQ(QFileInfo(sandbox("unzipped/top.log")).size(), 100000);

    EXPECT_TRUE(Tools::removePath(sandbox("copy")));
    EXPECT_FALSE(QFileInfo::exists(sandbox("copy")));
    EXPECT_TRUE(Tools::removePath(sandbox("logs.zip")));
    EXPECT_TRUE(Tools::removePath(sandbox("never-existed")));

    EXPECT_TRUE(Tools::unzipArchive(sandbox("src/top.log"), sandbox("bad")).isEmpty()) << "not an archive";
}

TEST(Files, JsonAndPaths)
{
    EXPECT_EQ(Tools::jsonToMap(R"({"a":1,"b":"x"})").value("b").toString(), "x");
    EXPECT_TRUE(Tools::jsonToMap("{broken").isEmpty());
    EXPECT_TRUE(Tools::jsonToMap("[1,2]").isEmpty());
    Tools tools;
    EXPECT_EQ(tools.formatPath("file:///home/u/a.mp3"), "/home/u/a.mp3");
    EXPECT_EQ(tools.getFileName("/home/u/a.mp3"), "a.mp3");
    EXPECT_EQ(tools.getMouseDesktopInt(QPoint(0, 0)), 0);
    EXPECT_EQ(tools.getMouseDesktopInt(QPoint(-50000, -50000)), -1);
    EXPECT_EQ(tools.getNowAvailableRect(QPoint(-50000, -50000)), tools.getAvailableRect()) << "primary as fallback";

    // A recording folder the user picks must exist and take files; the probe leaves nothing behind.
    const QString dir = testenv::sandboxRoot() + "/picked";
    ASSERT_TRUE(QDir().mkpath(dir));
    EXPECT_TRUE(tools.isWritableDir(dir));
    EXPECT_TRUE(tools.isWritableDir("file://" + dir));
    EXPECT_TRUE(QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
    EXPECT_FALSE(tools.isWritableDir(dir + "/missing"));
    EXPECT_FALSE(tools.isWritableDir(""));
    EXPECT_FALSE(tools.isWritableDir("/proc/self"));
    QFile file(dir + "/plain");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    EXPECT_FALSE(tools.isWritableDir(file.fileName()));
}

TEST(Dialogs, MessageBoxKindsAndSize)
{
    EXPECT_EQ(LMRMessageBox::dialogSize(1.5), QSize(600, 315));
    EXPECT_EQ(LMRMessageBox::dialogSize(1.25), QSize(500, 262));
    const double z = Tools::instance()->getZoomFactor();
    LMRMessageBox ok(0, "hello"), quit(1, "bye"), other(7, "?");
    EXPECT_EQ(ok.size(), LMRMessageBox::dialogSize(z));
    EXPECT_EQ(ok.buttonText(), "确定") << "translated OK";
    EXPECT_EQ(quit.buttonText(), "退出");
    EXPECT_EQ(other.buttonText(), "确定");
    EXPECT_TRUE(ok.windowFlags() & Qt::FramelessWindowHint);

    qputenv("LUMIRA_DIALOG_AUTO_ACCEPT_MS", "10");
    EXPECT_EQ(ok.exec(), QDialog::Accepted);
    qunsetenv("LUMIRA_DIALOG_AUTO_ACCEPT_MS");

    LMRMessageBox wrapped(0, QString(400, 'w').replace(QRegExp("(w{20})"), "\\1 "));
    wrapped.show();
    QApplication::processEvents();
    EXPECT_LE(wrapped.findChild<QWidget *>("msg")->width(), int(350 * z));
}

TEST(Dialogs, UploadProgress)
{
    uploadProgressDialog dialog;
    EXPECT_EQ(dialog.windowTitle(), "录音上传中");
    dialog.setText(2, 5);
    EXPECT_EQ(dialog.labelText(), "共5个，正在上传第2个");
    dialog.uploadProgress("id", 37);
    EXPECT_EQ(dialog.progressValue(), 37);
    dialog.show();
    dialog.uploadFinished();
    EXPECT_FALSE(dialog.isVisible());
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && QByteArray(argv[1]) == "--sleep-child") {
        QThread::sleep(60);
        return 0;
    }
    testenv::enterSandbox("tools");
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    lumira::initResources();
    QTranslator translator;
    if (!translator.load(QStringLiteral(LUMIRA_BIN_DIR "/lang_Chinese.qm")))
        return 3;
    QCoreApplication::installTranslator(&translator);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// The real client binary under the X server of the test run, each case with a
// fresh HOME: log lines in order, data tree, second instance, crash report and
// stale lock, OpenGL failure, fatal data root.
#include "PrivateXServer.h"
#include "SoundServer.h"
#include "TestEnv.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QSettings>
#include <QTcpServer>
#include <QThread>
#include <QUrl>

#include <gtest/gtest.h>

#include <signal.h>

namespace
{

class Client : public ::testing::Test
{
protected:
    void SetUp() override
    {
        static int n = 0;
        home = testenv::sandboxRoot() + QString("/home%1").arg(++n);
        QDir().mkpath(home + "/.config");
        env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home);
        env.insert("XDG_CONFIG_HOME", home + "/.config");
        env.insert("XDG_CACHE_HOME", home + "/.cache");
        env.insert("LUMIRA_DIALOG_AUTO_ACCEPT_MS", "300");
        env.insert("QTWEBENGINE_DISABLE_SANDBOX", "1");
    }
    void TearDown() override
    {
        for (QProcess *p : procs) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(5000);
            }
            delete p;
        }
    }

    QString dataRoot() const { return home + "/.config/kestrelon/lumira"; }
    QString logFile() const { return dataRoot() + "/log/LMRApp_" + QDate::currentDate().toString("yyyyMMdd") + ".log"; }
    QString log() const
    {
        QFile f(logFile());
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
    QProcess *start()
    {
        auto *p = new QProcess;
        procs << p;
        p->setProcessEnvironment(env);
        p->setProcessChannelMode(QProcess::MergedChannels);
        p->start(QStringLiteral(LUMIRA_APP_PATH), QStringList());
        EXPECT_TRUE(p->waitForStarted());
        return p;
    }
    bool waitForLog(const QString &text, int ms = 30000, int times = 1) const
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) {
            if (log().count(text) >= times)
                return true;
            QThread::msleep(50);
        }
        return false;
    }
    static void stop(QProcess *p)
    {
        ::kill(static_cast<pid_t>(p->processId()), SIGTERM);
        EXPECT_TRUE(p->waitForFinished(15000));
    }

    QString home;
    QProcessEnvironment env;
    QVector<QProcess *> procs;
};

const char kDone[] = "启动：启动完成";

TEST_F(Client, StartsInOrderAndQuitsCleanly)
{
    QProcess *p = start();
    ASSERT_TRUE(waitForLog(kDone)) << log().toStdString();
    // cefCache is made, then emptied away by the first start's clear-browser flag.
    for (const char *sub : { "log/media", "log/trtc", "log/agora", "config", "record", "dump", "db", "download" })
        EXPECT_TRUE(QDir(dataRoot() + "/" + sub).exists()) << sub;
    EXPECT_TRUE(QFile::exists(dataRoot() + "/config/config.ini"));

    const QStringList expected = {
        "LumiraAPP启动,version:5.0.6 id:",
        "启动：设置GPU选项",
        "启动：创建程序实例",
        "启动：设置全局字体",
        "启动：加载翻译文件",
        "启动：注册OSS回调",
        "启动：检查软件更新",
        "启动：显示启动中动画",
        "启动：可用内存检测",
        "启动：清理H5缓存",
        "启动：初始化qml对象",
        "启动：初始化崩溃捕获",
        "启动：向QML中注册C++组件",
        "启动：上传启动日记",
        "启动：开始网络测试",
        "启动：加载qml",
        "启动：初始化cef",
        "L_M_R_S app_start_time ",
        kDone,
    };
    const QString text = log();
    int at = 0;
    for (const QString &line : expected) {
        const int found = text.indexOf(" [Other_Type] " + line, at);
        ASSERT_GE(found, 0) << "missing or out of order: " << line.toStdString() << "\n" << text.toStdString();
        at = found;
    }
    EXPECT_FALSE(text.contains("translator error"));
    EXPECT_TRUE(QRegExp("id:[0-9a-f]{40}").indexIn(text) >= 0);
    EXPECT_TRUE(waitForLog("启动：qml对象启动成功", 10000));

    stop(p);
    EXPECT_EQ(p->exitCode(), 0);
    const QString after = log();
    EXPECT_LT(after.indexOf("qpp->qml:receieve signal app quit"), after.indexOf("qpp->qml:complete app quit"));
    EXPECT_TRUE(after.contains("quit app,closeQML!!"));
}

TEST_F(Client, SecondInstanceExitsZeroFirstKeepsRunning)
{
    QProcess *first = start();
    ASSERT_TRUE(waitForLog(kDone));
    QProcess *second = start();
    ASSERT_TRUE(second->waitForFinished(20000));
    EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second->exitCode(), 0);
    EXPECT_TRUE(log().contains("[warning] :  [Other_Type] 启动：已启动了客户端"));
    EXPECT_EQ(log().count(kDone), 1);
    QThread::msleep(300);
    EXPECT_EQ(first->state(), QProcess::Running);
    stop(first);
}

TEST_F(Client, CrashWritesReportAndStaleLockDoesNotBlock)
{
    QProcess *p = start();
    ASSERT_TRUE(waitForLog(kDone));
    ::kill(static_cast<pid_t>(p->processId()), SIGSEGV);
    ASSERT_TRUE(p->waitForFinished(15000));
    EXPECT_EQ(p->exitStatus(), QProcess::CrashExit);
    const QStringList reports = QDir(dataRoot() + "/dump").entryList({ "crash-*.txt" }, QDir::Files);
    ASSERT_EQ(reports.size(), 1);
    QFile report(dataRoot() + "/dump/" + reports.first());
    ASSERT_TRUE(report.open(QIODevice::ReadOnly));
    const QByteArray body = report.readAll();
    EXPECT_TRUE(body.contains("signal: 11 SIGSEGV"));
    EXPECT_TRUE(body.contains("#0 0x"));

    QProcess *again = start();
    EXPECT_TRUE(waitForLog(kDone, 30000, 2)) << "the crashed instance's lock blocked the start";
    stop(again);
}

TEST_F(Client, FailedOpenGlProbeStoresSoftAndNextStartSkipsIt)
{
    env.insert("QT_XCB_GL_INTEGRATION", "none");
    QProcess *p = start();
    ASSERT_TRUE(p->waitForFinished(30000));
    EXPECT_EQ(p->exitCode(), 0);
    EXPECT_TRUE(log().contains("[error] :  [Other_Type] 启动：检测到opengl失败，切换软件模拟"));
    QSettings ini(dataRoot() + "/config/config.ini", QSettings::IniFormat);
    EXPECT_EQ(ini.value("Init/QMLRender").toString(), "SOFT");

    QProcess *again = start();
    ASSERT_TRUE(waitForLog(kDone)) << log().toStdString();
    EXPECT_EQ(log().count("检测到opengl失败"), 1);
    stop(again);
}

TEST_F(Client, CorruptConfigStillStarts)
{
    QDir().mkpath(dataRoot() + "/config");
    QFile f(dataRoot() + "/config/config.ini");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray("\xff\xfe[Init\nIsInit=maybe\n[Browser]\nPort=abc\nMainUrlMode=\x01\n", 52));
    f.close();
    QProcess *p = start();
    ASSERT_TRUE(waitForLog(kDone)) << log().toStdString();
    stop(p);
}

TEST_F(Client, DataRootThatCannotBeCreatedIsFatal)
{
    QSettings store(home + "/.config/kestrelon/lumira.conf", QSettings::IniFormat);
    store.setValue("LMR_APP_DATA", "/proc/lumira-cannot-exist/lumira");
    store.sync();
    QProcess *p = start();
    ASSERT_TRUE(p->waitForFinished(15000));
    EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p->exitCode(), 0);
    EXPECT_TRUE(QString::fromUtf8(p->readAll()).contains("[Other_Type] Fatal:create dir error main path"));
}

// The development service on free ports, stopped by PID when the test ends.
class DevService
{
public:
    bool start(const QString &dir)
    {
        const int port = freePort();
        int ossPort = freePort();
        while (ossPort == port)
            ossPort = freePort();
        int tlsPort = freePort();
        while (tlsPort == port || tlsPort == ossPort)
            tlsPort = freePort();
        m_port = port;
        m_tlsPort = tlsPort;
        m_process.start(QStringLiteral(LUMIRA_BIN_DIR "/lumira_devservice"),
            { "--port", QString::number(port), "--oss-port", QString::number(ossPort), "--tls-port",
                QString::number(tlsPort), "--oss-dir", dir });
        return m_process.waitForReadyRead(10000) && m_process.readAllStandardOutput().contains("listening");
    }
    ~DevService()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        ::kill(static_cast<pid_t>(m_process.processId()), SIGTERM);
        m_process.waitForFinished(5000);
    }
    QString lessonUrl() const { return QStringLiteral("http://127.0.0.1:%1/qt1").arg(m_port); }
    QString baseUrl() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }
    QString apiUrl() const { return QStringLiteral("https://127.0.0.1:%1/").arg(m_tlsPort); }

private:
    static int freePort()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        return probe.serverPort();
    }
    QProcess m_process;
    int m_port = 0;
    int m_tlsPort = 0;
};

QByteArray postTo(const QString &url, const QByteArray &body)
{
    QNetworkAccessManager manager;
    QNetworkRequest request { QUrl(url) };
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/octet-stream");
    QNetworkReply *reply = manager.post(request, body);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    const QByteArray answer = reply->readAll();
    delete reply;
    return answer;
}

// Start-up finds a newer version whose package is already downloaded; the
// dialog's install button (pressed by the unattended switch) hands it to the
// desktop and the process ends with 1 before anything else starts. The
// desktop is a stand-in xdg-open first on the PATH: nothing is installed.
TEST_F(Client, StartupUpdateInstallExitsWithOne)
{
    DevService service;
    ASSERT_TRUE(service.start(home + "/oss"));
    const QByteArray package(64 * 1024, 'p');
    ASSERT_TRUE(postTo(service.baseUrl() + "/dev/update?version=5.1.0&name=lumira_5.1.0_amd64.deb", package)
                    .contains("\"retcode\":1"));
    const QString update = dataRoot() + "/update";
    QDir().mkpath(update);
    for (const QString suffix : { "", ".sig" })
        ASSERT_TRUE(QFile::copy(home + "/oss/lumira-files/pc/lumira_5.1.0_amd64.deb" + suffix,
            update + "/lumira_5.1.0_amd64.deb" + suffix));

    const QString bin = home + "/fakebin";
    QDir().mkpath(bin);
    QFile opener(bin + "/xdg-open");
    ASSERT_TRUE(opener.open(QIODevice::WriteOnly));
    // Written aside and moved: the test reads the file once it exists.
    opener.write(
        QString("#!/bin/sh\necho \"$@\" > '%1/opened.tmp' && mv '%1/opened.tmp' '%1/opened.txt'\n").arg(home).toUtf8());
    opener.close();
    opener.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    env.insert("PATH", bin + ":" + env.value("PATH"));
    env.insert("LUMIRA_DEV_UPDATE_API", service.apiUrl());

    QProcess *p = start();
    ASSERT_TRUE(p->waitForFinished(60000)) << log().toStdString();
    EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p->exitCode(), 1) << log().toStdString();
    const QString text = log();
    EXPECT_TRUE(text.contains("启动：检查软件更新"));
    EXPECT_FALSE(text.contains("启动：显示启动中动画"));
    QFile opened(home + "/opened.txt");
    QElapsedTimer t;
    t.start();
    while (!opened.exists() && t.elapsed() < 10000)
        QThread::msleep(50);
    ASSERT_TRUE(opened.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(opened.readAll()).trimmed(),
        QUrl::fromLocalFile(update + "/lumira_5.1.0_amd64.deb").toString());
}

// A user who starts the client from a terminal sees what matters, not every
// log line nor the audio libraries' probing: an idle warm start (the second
// start, with a sound server and the lesson page answering) stays under 20
// lines on stderr. The log file still has every line.
TEST_F(Client, AnIdleWarmStartIsQuietOnStderr)
{
    testenv::SoundServer sound;
    ASSERT_TRUE(sound.start(home + "/run/sound"));
    env.insert("PULSE_SERVER", qgetenv("PULSE_SERVER"));
    DevService service;
    ASSERT_TRUE(service.start(home + "/oss"));

    QProcess *cold = start();
    ASSERT_TRUE(waitForLog(kDone)) << log().toStdString();
    stop(cold);
    QSettings ini(dataRoot() + "/config/config.ini", QSettings::IniFormat);
    ini.setValue("Browser/MainUrl", service.lessonUrl());
    ini.sync();

    auto *warm = new QProcess;
    procs << warm;
    warm->setProcessEnvironment(env);
    warm->start(QStringLiteral(LUMIRA_APP_PATH), QStringList());
    ASSERT_TRUE(warm->waitForStarted());
    ASSERT_TRUE(waitForLog(kDone, 30000, 2)) << log().toStdString();
    QThread::msleep(8000);
    stop(warm);
    const QString err = QString::fromUtf8(warm->readAllStandardError());
    const int lines = err.isEmpty() ? 0 : err.count(QLatin1Char('\n')) + (err.endsWith(QLatin1Char('\n')) ? 0 : 1);
    EXPECT_LE(lines, 20) << err.toStdString();
    EXPECT_FALSE(err.contains("ALSA lib")) << err.toStdString();
    EXPECT_FALSE(err.contains("jack server")) << err.toStdString();
    EXPECT_LE(err.count("LumiraAPP启动"), 1);

    const QString text = log();
    EXPECT_EQ(text.count("L_M_R_S app_start_time "), 2) << "both starts are in the file";
    EXPECT_TRUE(text.contains("detect speaker ?? \tdevice:lumira_speaker")) << "device lines stay in the file";
}

// The box a second start shows, as the X screen shows it: on the plain Xvfb
// of the tests no compositing manager runs, and a see-through frame comes out
// black. The box is found from its orange warning icon; from there, the first
// pixels that are not the white panel are its frame, on all four sides.
TEST_F(Client, SecondInstanceBoxHasNoBlackFrame)
{
    // A screen of its own: windows of test programs running beside this one
    // must not cover the box while it is looked at.
    testenv::PrivateXServer screen({ QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("1920x1080x24") });
    ASSERT_TRUE(screen.ok());
    env.insert(QStringLiteral("DISPLAY"), screen.display());
    QProcess *first = start();
    ASSERT_TRUE(waitForLog(kDone));
    // Long enough for a loaded machine to map and paint the box while we look.
    env.insert("LUMIRA_DIALOG_AUTO_ACCEPT_MS", "20000");
    QProcess *second = start();
    ASSERT_TRUE(waitForLog("启动：已启动了客户端", 30000)) << log().toStdString();
    const QString shotFile = testenv::sandboxRoot() + "/second-instance-box.png";
    QImage shot;
    QRect icon;
    QElapsedTimer looking;
    looking.start();
    while (!icon.isValid() && looking.elapsed() < 15000) {
        QProcess shooter;
        shooter.setProcessEnvironment(env);
        shooter.start(QStringLiteral(LUMIRA_BIN_DIR "/lumira_screenshot"), { shotFile });
        ASSERT_TRUE(shooter.waitForFinished(15000));
        ASSERT_EQ(shooter.exitCode(), 0);
        shot = QImage(shotFile).convertToFormat(QImage::Format_RGB32);
        ASSERT_FALSE(shot.isNull());
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x) {
                const QRgb c = shot.pixel(x, y);
                if (qRed(c) > 230 && qGreen(c) > 130 && qGreen(c) < 180 && qBlue(c) < 60)
                    icon |= QRect(x, y, 1, 1);
            }
    }
    ASSERT_TRUE(icon.isValid()) << "no warning icon on the screen";
    auto white = [&](int x, int y) {
        const QRgb c = shot.pixel(x, y);
        return qRed(c) >= 245 && qGreen(c) >= 245 && qBlue(c) >= 245;
    };
    // Walks from a point in the panel until the first pixel that is not white.
    auto edge = [&](QPoint at, QPoint step) {
        for (int i = 0; i < 800 && shot.rect().contains(at + step); ++i) {
            at += step;
            if (!white(at.x(), at.y()))
                return at;
        }
        return QPoint(-1, -1);
    };
    const int row = icon.top() + 2; // above the text, which is centred on the icon
    const QPoint left = edge(QPoint(icon.left() - 1, row), QPoint(-1, 0));
    const QPoint right = edge(QPoint(icon.right() + 1, row), QPoint(1, 0));
    ASSERT_GE(left.x(), 0);
    ASSERT_GE(right.x(), 0);
    const int column = left.x() + 3; // in the panel's margin, clear of the separator
    const QPoint top = edge(QPoint(column, row), QPoint(0, -1));
    const QPoint bottom = edge(QPoint(column, row), QPoint(0, 1));
    ASSERT_GE(top.y(), 0);
    ASSERT_GE(bottom.y(), 0);
    const QRect box(QPoint(left.x(), top.y()), QPoint(right.x(), bottom.y()));
    shot.copy(box.adjusted(-4, -4, 4, 4)).save(testenv::sandboxRoot() + "/second-instance-box-only.png");
    // What was found is the whole box (400 x 210 at any zoom), not a part of it.
    EXPECT_NEAR(double(box.width()) / box.height(), 400.0 / 210.0, 0.05) << box.width() << "x" << box.height();
    for (const QPoint &at :
        { left, right, top, bottom, box.topLeft(), box.topRight(), box.bottomLeft(), box.bottomRight() }) {
        const QRgb c = shot.pixel(at);
        EXPECT_FALSE(qRed(c) < 40 && qGreen(c) < 40 && qBlue(c) < 40) << "black frame at " << at.x() << "," << at.y();
    }
    EXPECT_GE(icon.left() - box.left(), 8) << "icon pressed against the left edge";
    // How the box ends and the second start exits: SecondInstanceExitsZeroFirstKeepsRunning.
    second->kill();
    second->waitForFinished(5000);
    stop(first);
}

} // namespace

int main(int argc, char **argv)
{
    testenv::enterSandbox("startup");
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// The update check against the development service: its real answer over
// HTTPS, the package through the object-storage client from its store, the
// dialog's pages and buttons, the signature check. Opening the installer is
// intercepted with QDesktopServices::setUrlHandler: nothing is installed.
#include "CompositorSelection.h"
#include "GTestMain.h"
#include "OssTestSupport.h"
#include "TestEnv.h"

#include "BuildConfig.h"
#include "app/DirHelper.h"
#include "app/TSpdlog.h"
#include "net/HttpMsg.h"
#include "net/LMRAosController.h"
#include "update/H5DownloadHelper.h"
#include "update/LMRUpdate.h"
#include "update/PackageSignature.h"
#include "update/UpdateDownloadDialog.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScreen>
#include <QTextBrowser>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include <gtest/gtest.h>

#include <memory>

namespace
{

using testenv::waitUntil;

// Stands in for the desktop: records what the client asks it to open.
class Opener : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened << url; }
};

QByteArray randomPackage(int size)
{
    QByteArray data(size, Qt::Uninitialized);
    QRandomGenerator generator { quint32(size) };
    for (char &c : data)
        c = char(generator.generate() & 0xff);
    return data;
}

QByteArray post(const QString &url, const QByteArray &body = QByteArray())
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

QString updateDir() { return DirHelper::instance()->updatePath(); }

// startInstall quits the application as the real client does; a test process
// has no main loop to end, but Qt keeps the request and every later nested
// loop (the HTTP client's) would return at once. One turn of a main loop
// takes it.
void absorbQuit()
{
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
}

class Update : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(service.start());
        QDir(updateDir()).removeRecursively();
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &opener, "open");
        QDesktopServices::setUrlHandler(QStringLiteral("http"), &opener, "open");
        aos = std::make_unique<LMRAosController>(service.aosSettings());
        const QString tls = QStringLiteral("127.0.0.1:%1").arg(service.tlsPort);
        http = std::make_unique<HttpMsg>(testenv::sandboxRoot() + QStringLiteral("/none.ini"),
            QStringList { tls, QStringLiteral("localhost:%1").arg(service.tlsPort),
                QStringLiteral("127.0.0.1:%1").arg(service.port) });
        settings.packageHost = service.baseUrl() + QStringLiteral("/packages/");
        settings.clientVersion = QStringLiteral("5.0.6");
        settings.publicKey = QByteArray::fromHex(lumira::build::kUpdatePublicKey);
        settings.checkSignature = true;
        osstest::clearFaults(service);
    }
    void TearDown() override
    {
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
        update.reset();
        aos.reset();
    }

    LMRUpdate &make()
    {
        update = std::make_unique<LMRUpdate>(settings, http.get(), aos.get());
        return *update;
    }
    // What the service offers, with a package in its store (when given).
    void offer(const QString &query, const QByteArray &package = QByteArray())
    {
        const QByteArray answer = post(service.baseUrl() + QStringLiteral("/dev/update?") + query, package);
        ASSERT_TRUE(answer.contains("\"retcode\"")) << answer.toStdString();
    }
    QString stored(const QString &name) const { return service.ossDir + QStringLiteral("/lumira-files/pc/") + name; }
    // The package and its signature as a finished download leaves them.
    void placePackage(const QString &name)
    {
        QDir().mkpath(updateDir());
        ASSERT_TRUE(QFile::copy(stored(name), updateDir() + "/" + name));
        QFile::copy(stored(name + ".sig"), updateDir() + "/" + name + ".sig");
    }
    int storeGets() const { return osstest::requests(service.baseUrl(), QStringLiteral("get")); }

    harness::DevService service;
    Opener opener;
    std::unique_ptr<LMRAosController> aos;
    std::unique_ptr<HttpMsg> http;
    LMRUpdateSettings settings;
    std::unique_ptr<LMRUpdate> update;
};

TEST(UpdateVersion, ComparesAsText)
{
    EXPECT_FALSE(LMRUpdate::isNewer("5.0.10", "5.0.6"));
    EXPECT_TRUE(LMRUpdate::isNewer("5.1.0", "5.0.6"));
    EXPECT_FALSE(LMRUpdate::isNewer("5.0.6", "5.0.6"));
    EXPECT_FALSE(LMRUpdate::isNewer("", "5.0.6"));
    EXPECT_TRUE(LMRUpdate::isNewer("5.0.6-1", "5.0.6")) << "a longer version with the same start";
    EXPECT_TRUE(LMRUpdate::isNewer("6", "5.0.6"));
}

TEST_F(Update, PackagePresentOpensInstallPageWithoutDownloadAndInstallEndsWithTen)
{
    offer("version=5.1.0&notes=Faster%20start", randomPackage(200 * 1024));
    placePackage("lumira_5.1.0_amd64.deb");
    osstest::clearFaults(service); // counts from here
    LMRUpdate &u = make();
    ASSERT_EQ(u.pageToShow(), LMRUpdate::PageUpdate);
    EXPECT_EQ(u.versionName(), "5.1.0");
    EXPECT_EQ(u.message(), "Lumira 5.1.0 已发布,建议您升级到最新版");
    EXPECT_EQ(u.localPath(), updateDir() + "/lumira_5.1.0_amd64.deb");
    EXPECT_EQ(storeGets(), 0) << "the package in the update folder is used as it is";

    UpdateDownloadDialog dialog(&u, u.pageToShow());
    dialog.show();
    dialog.findChild<QPushButton *>("btnInstall")->click();
    absorbQuit();
    EXPECT_EQ(dialog.result(), LMRUpdate::kResultInstall);
    ASSERT_EQ(opener.opened.size(), 1);
    EXPECT_EQ(opener.opened.first(), QUrl::fromLocalFile(u.localPath()));
}

TEST_F(Update, PackageAbsentOpensDownloadPageWithProgressOfTheRealDownload)
{
    const QByteArray package = randomPackage(6 * 1024 * 1024);
    offer("version=5.1.0&notes=n", package);
    // The background download waits in the store until the dialog is up.
    osstest::fault(service, "?route=oss&kind=stall&ms=1500&only=get&count=1");
    LMRUpdate &u = make();
    ASSERT_EQ(u.pageToShow(), LMRUpdate::PageDownload);
    EXPECT_TRUE(u.downloading());

    UpdateDownloadDialog dialog(&u, LMRUpdate::PageDownload);
    dialog.show();
    QList<int> progress;
    QObject::connect(&u, &LMRUpdate::progressUpdate, [&](int value) { progress << value; });
    dialog.findChild<QPushButton *>("btnDown")->click();
    EXPECT_TRUE(dialog.progressVisible());
    EXPECT_FALSE(dialog.downloadEnabled());
    ASSERT_TRUE(waitUntil([&] { return !opener.opened.isEmpty(); }, 60000)) << testenv::logText().toStdString();
    absorbQuit();
    EXPECT_EQ(storeGets(), 2) << "the signature, then one download of the package, not two";
    ASSERT_FALSE(progress.isEmpty());
    EXPECT_EQ(progress.last(), 100);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(dialog.progressValue(), 100);
    EXPECT_EQ(dialog.result(), LMRUpdate::kResultInstall);
    EXPECT_EQ(osstest::readFile(u.localPath()), package);
    EXPECT_TRUE(testenv::logText().contains("下载安装包完成且成功"));

    // The browser link opens the package's address.
    dialog.findChild<QPushButton *>("btnGo")->click();
    EXPECT_EQ(opener.opened.last(), QUrl(u.downloadUrl()));
}

TEST_F(Update, VersionNotNewerShowsLatestPageAndDeletesAnOldPackage)
{
    offer("version=5.0.10&name=lumira_old.deb");
    QDir().mkpath(updateDir());
    osstest::writeFile("old.deb", "old package");
    ASSERT_TRUE(QFile::copy(testenv::sandboxRoot() + "/old.deb", updateDir() + "/lumira_old.deb"));
    LMRUpdate &u = make();
    EXPECT_EQ(u.pageToShow(), LMRUpdate::PageLatest);
    EXPECT_FALSE(u.updateAvailable());
    EXPECT_FALSE(QFile::exists(updateDir() + "/lumira_old.deb"));
    EXPECT_EQ(u.message(), "当前Lumira版本为5.0.6，已是最新版哦!");
    UpdateDownloadDialog dialog(&u, LMRUpdate::PageLatest);
    EXPECT_EQ(dialog.messageText(), "当前Lumira版本为5.0.6，已是最新版哦!");
    EXPECT_EQ(u.checkAtStartup(), 0) << "start-up shows no dialog when nothing is to be installed";
}

TEST_F(Update, RefusedAnswerOrServiceDownStoresNothing)
{
    offer("version=5.1.0&retcode=0");
    LMRUpdate &u = make();
    EXPECT_EQ(u.pageToShow(), LMRUpdate::PageLatest);
    EXPECT_TRUE(u.versionName().isEmpty() && u.downloadUrl().isEmpty()) << "nothing of a refused answer is kept";
    UpdateDownloadDialog dialog(&u, LMRUpdate::PageLatest);
    EXPECT_EQ(dialog.messageText(), "当前Lumira版本为5.0.6，已是最新版哦");

    // Nothing stored: the next check asks again, and takes the answer.
    offer("retcode=1");
    EXPECT_EQ(u.pageToShow(), LMRUpdate::PageDownload);
    EXPECT_EQ(u.versionName(), "5.1.0");

    // A service that is not there.
    http = std::make_unique<HttpMsg>(testenv::sandboxRoot() + QStringLiteral("/none.ini"),
        QStringList { QStringLiteral("127.0.0.1:%1").arg(harness::freePort()), QStringLiteral("127.0.0.1:1"),
            QStringLiteral("127.0.0.1:1") });
    LMRUpdate &down = make();
    EXPECT_EQ(down.pageToShow(), LMRUpdate::PageLatest);
    EXPECT_FALSE(down.updateAvailable());
}

TEST_F(Update, FailedDownloadGivesNoSuccessAndTheDialogStays)
{
    settings.checkSignature = false; // the package's own download fails
    const int logFrom = testenv::logText().size();
    offer("version=5.1.0", randomPackage(100 * 1024));
    osstest::fault(service, "?route=oss&kind=500&only=get");
    LMRUpdate &u = make();
    ASSERT_EQ(u.pageToShow(), LMRUpdate::PageDownload);
    ASSERT_TRUE(waitUntil([&] { return !u.downloading(); }, 60000));
    UpdateDownloadDialog dialog(&u, LMRUpdate::PageDownload);
    dialog.show();
    bool finished = false;
    QObject::connect(&u, &LMRUpdate::downFinished, [&] { finished = true; });
    dialog.findChild<QPushButton *>("btnDown")->click();
    ASSERT_TRUE(waitUntil([&] { return !u.downloading(); }, 60000));
    QCoreApplication::processEvents();
    EXPECT_FALSE(finished);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(dialog.progressVisible());
    EXPECT_TRUE(dialog.downloadEnabled()) << "the user may try again";
    EXPECT_TRUE(opener.opened.isEmpty());
    EXPECT_FALSE(QFile::exists(u.localPath()));
    EXPECT_FALSE(testenv::logText().mid(logFrom).contains("下载安装包完成且成功"));
    EXPECT_TRUE(testenv::logText().mid(logFrom).contains("更新: 安装包下载失败"));
}

// The package comes over plain HTTP and opening it runs an installer.
TEST_F(Update, TamperedPackageIsDeletedAndNeverOpened)
{
    offer("version=5.1.0&name=tampered.deb&signature=tampered", randomPackage(300 * 1024));
    LMRUpdate &u = make();
    bool refused = false;
    QObject::connect(&u, &LMRUpdate::verificationFailed, [&] { refused = true; });
    ASSERT_EQ(u.pageToShow(), LMRUpdate::PageDownload);
    UpdateDownloadDialog dialog(&u, LMRUpdate::PageDownload);
    dialog.show();
    dialog.findChild<QPushButton *>("btnDown")->click();
    ASSERT_TRUE(waitUntil([&] { return refused; }, 60000));
    EXPECT_FALSE(QFile::exists(u.localPath()));
    EXPECT_FALSE(QFile::exists(u.signaturePath()));
    EXPECT_TRUE(opener.opened.isEmpty());
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.messageText(), "无法验证此更新，安装包已删除");
    EXPECT_TRUE(testenv::logText().contains("signature does not match the package"));

    // Put in the folder by hand, it is refused at the install button too.
    placePackage("tampered.deb");
    EXPECT_EQ(u.pageToShow(), LMRUpdate::PageUpdate);
    UpdateDownloadDialog install(&u, LMRUpdate::PageUpdate);
    install.show();
    install.findChild<QPushButton *>("btnInstall")->click();
    EXPECT_TRUE(install.isVisible());
    EXPECT_EQ(install.currentPage(), LMRUpdate::PageDownload);
    EXPECT_TRUE(opener.opened.isEmpty());
    EXPECT_FALSE(QFile::exists(u.localPath()));
}

TEST_F(Update, MissingSignatureStopsTheDownload)
{
    offer("version=5.1.0&name=unsigned.deb&signature=none", randomPackage(50 * 1024));
    LMRUpdate &u = make();
    bool refused = false;
    QObject::connect(&u, &LMRUpdate::verificationFailed, [&] { refused = true; });
    ASSERT_EQ(u.pageToShow(), LMRUpdate::PageDownload);
    ASSERT_TRUE(waitUntil([&] { return refused; }, 60000));
    EXPECT_FALSE(QFile::exists(u.localPath()));
    EXPECT_EQ(storeGets(), 0) << "no package is fetched without its signature";

    // Without a configured key the package is opened as it comes.
    settings.checkSignature = false;
    settings.publicKey.clear();
    LMRUpdate &open = make();
    ASSERT_EQ(open.pageToShow(), LMRUpdate::PageDownload);
    UpdateDownloadDialog dialog(&open, LMRUpdate::PageDownload);
    dialog.show();
    dialog.findChild<QPushButton *>("btnDown")->click();
    ASSERT_TRUE(waitUntil([&] { return !opener.opened.isEmpty(); }, 60000));
    absorbQuit();
    EXPECT_EQ(dialog.result(), LMRUpdate::kResultInstall);
}

TEST_F(Update, CloseAndLaterEndWithElevenAndNotesStayText)
{
    offer("version=5.1.0&notes=%3Ca%20href%3D%22file%3A%2F%2F%2Fetc%22%3Elink%3C%2Fa%3E", randomPackage(10 * 1024));
    placePackage("lumira_5.1.0_amd64.deb");
    LMRUpdate &u = make();
    for (const char *button : { "btnQ", "btnClose" }) {
        UpdateDownloadDialog dialog(&u, u.pageToShow());
        dialog.show();
        dialog.findChild<QPushButton *>(button)->click();
        EXPECT_EQ(dialog.result(), LMRUpdate::kResultLater) << button;
        EXPECT_EQ(
            dialog.findChild<QTextBrowser *>("txtContentUpdate")->toPlainText(), "<a href=\"file:///etc\">link</a>");
        EXPECT_FALSE(dialog.isVisible());
    }
    EXPECT_TRUE(opener.opened.isEmpty());
}

TEST_F(Update, PageCheckOpensOneDialogWithoutBlocking)
{
    offer("version=5.0.6");
    LMRUpdate &u = make();
    u.check();
    u.check(); // a second click while the answer is awaited asks nothing more
    EXPECT_FALSE(u.openDialog()) << "the page's request does not wait for the service";
    ASSERT_TRUE(waitUntil([&] { return u.openDialog() != nullptr; }));
    UpdateDownloadDialog *first = u.openDialog();
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(first->currentPage(), LMRUpdate::PageLatest);
    u.check();
    EXPECT_EQ(u.openDialog(), first);
    first->findChild<QPushButton *>("btnClose")->click();
    // Deleted later, as the main loop would (processEvents alone does not).
    EXPECT_TRUE(waitUntil([&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return !u.openDialog();
    }));
}

// The three pages as the X screen shows them. The test X server runs no
// compositing manager: the dialog must then be an opaque card in a grey
// frame, never black where a shadow would have been blended. With one (its
// selection claimed here) the window itself is see-through around the card.
TEST_F(Update, PagesOnTheScreenWithAndWithoutCompositing)
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        GTEST_SKIP() << "needs the X server of the test run";
    offer("version=5.1.0&notes=1.%20Faster%20start%0A2.%20Clearer%20sound", randomPackage(10 * 1024));
    placePackage("lumira_5.1.0_amd64.deb");
    LMRUpdate &u = make();
    ASSERT_EQ(u.pageToShow(), LMRUpdate::PageUpdate);
    auto near = [](QRgb c, int r, int g, int b) {
        return qAbs(qRed(c) - r) < 12 && qAbs(qGreen(c) - g) < 12 && qAbs(qBlue(c) - b) < 12;
    };
    for (int page : { 0, 1, 2 }) {
        UpdateDownloadDialog dialog(&u, page);
        if (page == LMRUpdate::PageDownload) {
            dialog.findChild<QWidget *>("progressBar")->show();
            dialog.onSetProgress(40);
        }
        dialog.show();
        ASSERT_TRUE(waitUntil([&] { return dialog.windowHandle() && dialog.windowHandle()->isExposed(); }));
        QElapsedTimer settle;
        settle.start();
        waitUntil([&] { return settle.elapsed() > 300; });
        const QImage shot = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
        const QRect box = dialog.frameGeometry();
        shot.copy(box.adjusted(-8, -8, 8, 8))
            .save(testenv::sandboxRoot() + QStringLiteral("/update-page-%1.png").arg(page));
        for (const QPoint &corner : { box.topLeft(), box.topRight(), box.bottomLeft(), box.bottomRight(),
                 box.topLeft() + QPoint(5, 5), box.bottomRight() - QPoint(5, 5) }) {
            const QRgb c = shot.pixel(corner);
            EXPECT_FALSE(qRed(c) < 40 && qGreen(c) < 40 && qBlue(c) < 40)
                << "black at " << corner.x() << "," << corner.y() << " on page " << page;
        }
        const char *primary = page == 0 ? "btnInstall" : page == 2 ? "btnDown" : nullptr;
        if (primary) {
            QWidget *button = dialog.findChild<QWidget *>(primary);
            const QPoint at = button->mapToGlobal(QPoint(6, button->height() / 2));
            EXPECT_TRUE(near(shot.pixel(at), 0xF2, 0x63, 0x55)) << primary << " is not #F26355";
        }
    }

    testenv::CompositorSelection compositor;
    ASSERT_TRUE(compositor.ok());
    for (int page : { 0, 1, 2 }) {
        UpdateDownloadDialog dialog(&u, page);
        ASSERT_TRUE(dialog.testAttribute(Qt::WA_TranslucentBackground));
        const QImage look = dialog.grab().toImage();
        look.save(testenv::sandboxRoot() + QStringLiteral("/update-page-%1-composited.png").arg(page));
        EXPECT_EQ(qAlpha(look.pixel(0, 0)), 0) << "the corner is see-through";
        const QPoint middle(look.width() / 2, look.height() / 2);
        EXPECT_EQ(qAlpha(look.pixel(middle)), 255) << "the card is opaque";
        // The shadow: partly covered pixels just outside the card's edge.
        const int y = look.height() / 2;
        bool shadow = false;
        for (int x = 1; x < 12 && !shadow; ++x)
            shadow = qAlpha(look.pixel(x, y)) > 0 && qAlpha(look.pixel(x, y)) < 255;
        EXPECT_TRUE(shadow) << "no drop shadow on page " << page;
    }
}

// A stand-in for Qt WebEngine's download item: the two members the helper uses.
class DownloadItem : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString path MEMBER path)
public:
    QString path;
    int accepted = 0;
    Q_INVOKABLE void accept() { ++accepted; }
};

TEST(DownloadHelper, ChosenNameIsSetAndAcceptedCancelLeavesTheItem)
{
    H5DownloadHelper helper;
    QString askedFor, filter;
    QString answer = "/tmp/chosen/notes.txt";
    helper.setAskPath([&](const QString &proposed, const QString &f) {
        askedFor = proposed;
        filter = f;
        return answer;
    });
    DownloadItem item;
    item.path = "/home/u/Downloads/notes.txt";
    helper.onDownloadRequested(&item);
    EXPECT_EQ(askedFor, "/home/u/Downloads/notes.txt");
    EXPECT_EQ(filter, "*.txt");
    EXPECT_EQ(item.path, "/tmp/chosen/notes.txt");
    EXPECT_EQ(item.accepted, 1);

    answer.clear();
    DownloadItem cancelled;
    cancelled.path = "/home/u/Downloads/a.pdf";
    helper.onDownloadRequested(&cancelled);
    EXPECT_EQ(cancelled.path, "/home/u/Downloads/a.pdf");
    EXPECT_EQ(cancelled.accepted, 0);
    helper.onDownloadRequested(nullptr);
}

TEST(PackageSignature, RefusesWhatDoesNotVerify)
{
    using lumira::update::SignatureCheck;
    using lumira::update::verifyPackage;
    const QByteArray key = QByteArray::fromHex(lumira::build::kUpdatePublicKey);
    const QString file = osstest::writeFile("p.deb", "package");
    EXPECT_EQ(verifyPackage(file, file + ".sig", key), SignatureCheck::Missing);
    osstest::writeFile("p.deb.sig", QByteArray(64, 'x'));
    EXPECT_EQ(verifyPackage(file, file + ".sig", key), SignatureCheck::Invalid);
    EXPECT_EQ(verifyPackage(file, file + ".sig", key.left(31)), SignatureCheck::NoKey);
    EXPECT_EQ(verifyPackage(file + ".none", file + ".sig", key), SignatureCheck::Unreadable);
}

} // namespace

int main(int argc, char **argv)
{
    testenv::enterSandbox("update");
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication::setOrganizationName(QStringLiteral("kestrelon"));
    QCoreApplication::setApplicationName(QStringLiteral("lumira"));
    QApplication app(argc, argv);
    testenv::programLogPath() = DirHelper::instance()->logPath() + QStringLiteral("/LMRApp_test.log");
    TSpdlog::create(testenv::programLogPath(), testenv::programLogPath());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

#include "test_update.moc"

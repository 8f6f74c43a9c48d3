#include "ui/Tools.h"

#include "BuildConfig.h"
#include "app/TSpdlog.h"
#include "platform/Compositing.h"
#include "platform/ExecutableName.h"
#include "platform/FileUrl.h"
#include "platform/ProcessTable.h"
#include "ui/Tools_QWidget.h"

#include <QCoreApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScreen>
#include <QTemporaryFile>
#include <QUrl>

#include <JlCompress.h>

Tools *Tools::instance()
{
    static Tools *self = new Tools;
    return self;
}

Tools::Tools(QObject *parent)
    : QObject(parent)
{
}

QString Tools::formatPath(QString path) { return lumira::platform::stripFileUrlPrefix(path); }

bool Tools::isWritableDir(QString path)
{
    const QString dir = lumira::platform::stripFileUrlPrefix(path);
    if (dir.isEmpty() || !QFileInfo(dir).isDir())
        return false;
    // Permission bits do not tell about read-only mounts or ACLs: try it.
    QTemporaryFile probe(QDir(dir).filePath(QStringLiteral(".lumira-probe-XXXXXX")));
    return probe.open();
}

QString Tools::getFileName(QString fullName) { return QFileInfo(fullName).fileName(); }

namespace
{

int screenIndexAt(const QPoint &point)
{
    const QList<QScreen *> screens = QGuiApplication::screens();
    for (int i = 0; i < screens.size(); ++i) {
        if (screens.at(i)->geometry().contains(point)) // border pixels count as inside
            return i;
    }
    return -1;
}

} // namespace

int Tools::getMouseDesktopInt(QPoint mouse) { return screenIndexAt(mouse); }

QScreen *Tools::screenAt(const QPoint &point)
{
    const int index = screenIndexAt(point);
    const QList<QScreen *> screens = QGuiApplication::screens();
    if (index >= 0 && index < screens.size())
        return screens.at(index);
    return QGuiApplication::primaryScreen();
}

QRect Tools::getAvailableRect()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

int Tools::getAvailableWidth() { return getAvailableRect().width(); }
int Tools::getAvailableHeight() { return getAvailableRect().height(); }
int Tools::getAvailableX() { return getAvailableRect().x(); }
int Tools::getAvailableY() { return getAvailableRect().y(); }

QRect Tools::getNowAvailableRect(QPoint mouse)
{
    const QScreen *screen = screenAt(mouse);
    return screen ? screen->availableGeometry() : QRect();
}

int Tools::getNowAvailableWidth(QPoint mouse) { return getNowAvailableRect(mouse).width(); }
int Tools::getNowAvailableHeight(QPoint mouse) { return getNowAvailableRect(mouse).height(); }
int Tools::getNowAvailableX(QPoint mouse) { return getNowAvailableRect(mouse).x(); }
int Tools::getNowAvailableY(QPoint mouse) { return getNowAvailableRect(mouse).y(); }

double Tools::getZoomFactor()
{
    const QList<QScreen *> screens = QGuiApplication::screens();
    return Tools_QWidget::zoomFactor(screens.isEmpty() ? nullptr : screens.first());
}

double Tools::getNowZoomFactor(QPoint mouse) { return Tools_QWidget::zoomFactor(screenAt(mouse)); }

bool Tools::isCompositing()
{
    // Only X11 desktops may run without a compositing manager; the other
    // platforms (and the offscreen one of the tests) always blend.
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return true;
    return lumira::platform::compositingAvailable();
}

QPoint Tools::getMousePos() { return QCursor::pos(); }

void Tools::killProcess(QString process) { killProcessByName(process); }

int Tools::killProcessByName(const QString &exeName)
{
    using namespace lumira::platform;
    const qint64 self = currentProcessId();
    int killed = 0;
    for (const ProcessEntry &entry : processSnapshot()) {
        if (entry.pid == self || entry.exeName.compare(exeName, Qt::CaseInsensitive) != 0)
            continue;
        if (terminateProcess(entry.pid, 0)) {
            TSpdlog::instance()->otherInfo(exeName + QStringLiteral(" 已杀死"));
            ++killed;
        }
    }
    return killed;
}

bool Tools::isProcessRunning(const QString &exeName)
{
    bool running = false;
    for (const auto &entry : lumira::platform::processSnapshot()) {
        if (entry.exeName.compare(exeName, Qt::CaseInsensitive) == 0) {
            running = true;
            break;
        }
    }
    TSpdlog::instance()->otherInfo(exeName + (running ? QStringLiteral(" 正在运行") : QStringLiteral(" 不在运行")));
    return running;
}

bool Tools::startDetached(const QString &program, const QStringList &arguments)
{
    return QProcess::startDetached(program, arguments);
}

void Tools::reinstall()
{
    const QString installer = lumira::platform::executableFileName(QStringLiteral("lumira_install"));
    if (!isProcessRunning(installer)) {
        const QString path = QCoreApplication::applicationDirPath() + QLatin1Char('/') + installer;
        if (!startDetached(path))
            QDesktopServices::openUrl(QUrl(QString::fromLatin1(lumira::build::kDownloadPage)));
    }
    TSpdlog::instance()->uiClick(QStringLiteral("退出主进程"));
    QCoreApplication::quit();
}

namespace
{
QString &restartProgramPath()
{
    static QString path;
    return path;
}
} // namespace

void Tools::requestRestart()
{
    TSpdlog::instance()->uiClick(QStringLiteral("restart lmr app"));
    restartProgramPath() = QCoreApplication::applicationFilePath();
}

QString Tools::restartProgram() { return restartProgramPath(); }

bool Tools::copyDirectory(const QString &from, const QString &to)
{
    const QDir source(from);
    if (!source.exists())
        return false;
    if (!QDir().mkpath(to)) {
        TSpdlog::instance()->otherError(QStringLiteral("创建目录失败:path:") + to);
        return false;
    }
    bool ok = true;
    const QFileInfoList entries = source.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
    for (const QFileInfo &entry : entries) {
        const QString target = to + QLatin1Char('/') + entry.fileName();
        if (entry.isDir()) {
            ok = copyDirectory(entry.filePath(), target) && ok;
        } else {
            if (QFileInfo::exists(target))
                QFile::remove(target);
            ok = QFile::copy(entry.filePath(), target) && ok;
        }
    }
    return ok;
}

bool Tools::removePath(const QString &path)
{
    const QFileInfo info(path);
    if (info.isDir() && !info.isSymLink())
        return QDir(path).removeRecursively();
    if (info.exists() || info.isSymLink())
        return QFile::remove(path);
    return true;
}

QVariantMap Tools::jsonToMap(const QString &json)
{
    QJsonParseError error {};
    const QJsonDocument doc = QJsonDocument::fromJson(json.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return {};
    return doc.object().toVariantMap();
}

bool Tools::zipDirectory(const QString &archive, const QString &directory)
{
    return JlCompress::compressDir(archive, directory, true);
}

QStringList Tools::unzipArchive(const QString &archive, const QString &directory)
{
    return JlCompress::extractDir(archive, directory);
}

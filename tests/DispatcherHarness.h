#pragma once
// The page dispatcher (LMRWebView.qml) on its own in a QQmlEngine, with the
// real context objects it calls and the real message registry. Messages enter
// where the page's transport delivers them (QCefClient, then callQML). Two
// objects stand in for what would need a real browser and window: the page
// (it keeps what would run there) and the window (it counts close requests).
#include "app/AppStartup.h"
#include "app/LMRConfig.h"
#include "app/TSpdlog.h"
#include "device/DeviceTypes.h"
#include "media/MediaTypes.h"
#include "ui/Tools.h"
#include "web/LMRMsgId.h"
#include "web/QCefClient.h"
#include "web/QMLNotify.h"
#include "web/WebTypes.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QTimer>
#include <QVariant>

#include <functional>
#include <memory>

namespace dispatcher
{

// What the dispatcher sends to the page ("cppCef"): replies are parsed out of
// the "qtQueryCallback(...)" texts and handed to `onReply`.
class PageSink : public QObject
{
    Q_OBJECT
public:
    Q_INVOKABLE void sendToWeb(QString msg)
    {
        static const QString prefix = QStringLiteral("qtQueryCallback(");
        if (!msg.startsWith(prefix) || !msg.endsWith(QLatin1Char(')')))
            return;
        ++replyCount;
        if (onReply)
            onReply(QJsonDocument::fromJson(msg.mid(prefix.size(), msg.size() - prefix.size() - 1).toUtf8()).object());
    }
    // Reloads and extra windows would leave the dispatcher: nothing happens.
    Q_INVOKABLE void load(QString) { }
    Q_INVOKABLE void openNewWindow(QString, QString, QString, int = 0, int = 0) { }

    std::function<void(const QJsonObject &)> onReply;
    int replyCount = 0;
};

// The window ("cppWindow"): counts close requests.
class WindowSink : public QObject
{
    Q_OBJECT
public:
    Q_INVOKABLE void close()
    {
        ++closeCount;
        if (onClose)
            onClose();
    }
    std::function<void()> onClose;
    int closeCount = 0;
};

class Dispatcher
{
public:
    // `services` are published under their names beside the fixed objects
    // (recordDispatcher, cppSimRoom, ...).
    explicit Dispatcher(const QList<QPair<QString, QObject *>> &services = {})
    {
        static const bool registered = [] {
            lumira::initResources();
            lumira::registerWebTypes();
            lumira::registerMediaTypes();
            lumira::registerDeviceTypes();
            return true;
        }();
        Q_UNUSED(registered)
        QQmlContext *context = engine.rootContext();
        context->setContextProperty(QStringLiteral("cppWindow"), &window);
        context->setContextProperty(QStringLiteral("cppLog"), TSpdlog::instance());
        context->setContextProperty(QStringLiteral("cppTool"), Tools::instance());
        context->setContextProperty(QStringLiteral("cppNotify"), QMLNotify::instance());
        context->setContextProperty(QStringLiteral("cppConfigFile"), LMRConfig::instance());
        context->setContextProperty(QStringLiteral("cppCef"), &page);
        for (const auto &service : services)
            context->setContextProperty(service.first, service.second);
        QQmlComponent component(&engine, QUrl(QStringLiteral("qrc:/lmr_controls/LMRWebView.qml")));
        item.reset(component.create());
        if (!item)
            errors = component.errorString();
        QObject::connect(&transport, &QCefClient::sgWebMsgReceived, [this](const QString &msg) { call(msg); });
    }

    ~Dispatcher()
    {
        // Offers still on their way must not reach a dispatcher that is gone.
        settle(3000);
        item.reset();
    }

    // As the page's transport delivers a message.
    void post(const QString &msg) { transport.OnProcessMessageReceived(msg); }

    // Straight into the dispatcher's entry.
    void call(const QString &msg)
    {
        if (item)
            QMetaObject::invokeMethod(item.get(), "callQML", Q_ARG(QVariant, QVariant(msg)));
    }

    // Runs the event loop until the registry's queue is empty.
    bool settle(int timeoutMs = 15000)
    {
        QElapsedTimer timer;
        timer.start();
        QTimer tick; // wakes the wait below when nothing else does
        tick.start(50);
        while (!LMRMsgId::instance()->queuedKeys().isEmpty()) {
            if (timer.elapsed() > timeoutMs)
                return false;
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        QCoreApplication::processEvents();
        return true;
    }

    QQmlEngine engine;
    PageSink page;
    WindowSink window;
    QCefClient transport;
    std::unique_ptr<QObject> item;
    QString errors;
};

} // namespace dispatcher

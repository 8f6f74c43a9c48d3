// QML tests of the classroom window, run by QtQuickTest on the real resources.
#include "TestEnv.h"

#include "app/AppStartup.h"
#include "app/DirHelper.h"
#include "app/LMRConfig.h"
#include "app/TSpdlog.h"
#include "media/MediaTypes.h"
#include "ui/Tools.h"
#include "web/QCefClient.h"
#include "web/QCefView.h"
#include "web/QMLNotify.h"
#include "web/WebTypes.h"

#include <QQmlContext>
#include <QQmlEngine>
#include <QtQuickTest>

class Setup : public QObject
{
    Q_OBJECT
public slots:
    void applicationAvailable()
    {
        lumira::initResources();
        lumira::registerWebTypes();
        lumira::registerMediaTypes();
        const QString log = DirHelper::instance()->logPath() + QStringLiteral("/LMRApp_qml.log");
        TSpdlog::create(log, log);
    }
    void qmlEngineAvailable(QQmlEngine *engine)
    {
        QQmlContext *context = engine->rootContext();
        context->setContextProperty(QStringLiteral("cppWindow"), &m_window);
        context->setContextProperty(QStringLiteral("cppLog"), TSpdlog::instance());
        context->setContextProperty(QStringLiteral("cppTool"), Tools::instance());
        context->setContextProperty(QStringLiteral("cppNotify"), QMLNotify::instance());
        context->setContextProperty(QStringLiteral("cppConfigFile"), LMRConfig::instance());
        context->setContextProperty(QStringLiteral("cppDir"), DirHelper::instance());
        context->setContextProperty(QStringLiteral("cppCef"), &m_cef);
        context->setContextProperty(QStringLiteral("cppTestLog"), this);
    }

    // The log as the tests see it.
    QString logText()
    {
        TSpdlog::flushAll();
        QFile file(DirHelper::instance()->logPath() + QStringLiteral("/LMRApp_qml.log"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

private:
    QObject m_window;
    QCefView m_cef;
};

static int sandbox = [] {
    testenv::enterSandbox("qml");
    QCoreApplication::setOrganizationName(QStringLiteral("kestrelon"));
    QCoreApplication::setApplicationName(QStringLiteral("lumira"));
    return 0;
}();

QUICK_TEST_MAIN_WITH_SETUP(test_qml, Setup)

#include "test_qml.moc"

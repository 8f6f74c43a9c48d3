#include "web/QCefView.h"

#include "web/QCefApp.h"
#include "web/QCefBrowser.h"
#include "web/QCefClient.h"

#include <QQuickItem>
#include <QQuickWindow>

QCefView::QCefView(QObject *parent)
    : QObject(parent)
{
}

QCefView::~QCefView() = default;

void QCefView::init(QCefClient *client, QQuickItem *rootWindow, QCefApp *app)
{
    m_client = client;
    m_rootWindow = rootWindow;
    m_app = app;
    m_cefTimer = new QTimer(this);
    m_cefTimer->setInterval(10);
    connect(m_cefTimer, &QTimer::timeout, this, &QCefView::onCefTimer);
    m_cefTimer->start();
    if (client) {
        connect(client, &QCefClient::sgWebMsgReceived, this, &QCefView::sgWebMsgReceived);
        connect(client, &QCefClient::sgOpenDebugBrowser, this, &QCefView::openNewWindow);
    }
}

QCefBrowser *QCefView::mainBrowser() const { return m_client ? m_client->browser() : nullptr; }

void QCefView::onCefTimer()
{
    // Chromium runs on Qt's own event loop; the tick only has to place the
    // main browser once it exists, then it has nothing left to do.
    if (m_embedded) {
        m_cefTimer->stop();
        return;
    }
    QCefBrowser *browser = mainBrowser();
    if (!browser || !browser->item() || !m_rootWindow)
        return;
    m_browserWindow = browser->item();
    m_browserWindow->setParentItem(m_rootWindow);
    m_browserWindow->setSize(QSizeF(m_width, m_height));
    m_browserWindow->setX(0);
    m_browserWindow->setY(0);
    m_browserWindow->setVisible(true);
    applyZoom();
    m_embedded = true;
    m_cefTimer->stop();
}

QList<QPair<QString, QCefClient *>> QCefView::windows() const
{
    QList<QPair<QString, QCefClient *>> result;
    for (const auto &entry : m_windows)
        result.append({ entry.first, entry.second.data() });
    return result;
}

void QCefView::closeAllBrowser()
{
    if (m_app)
        m_app->closeAllBrowser();
}

void QCefView::setResize(int width, int height, bool flag)
{
    bool changed = false;
    if (width != 0 && width != m_width) {
        m_width = width;
        changed = true;
    }
    if (height != 0 && height != m_height) {
        m_height = height;
        changed = true;
    }
    if (changed && flag && m_embedded && m_browserWindow)
        m_browserWindow->setSize(QSizeF(m_width, m_height));
}

void QCefView::setZoom(double zoom)
{
    if (!(zoom >= 0.25 && zoom <= 5.0) || qFuzzyCompare(zoom, m_zoom))
        return;
    m_zoom = zoom;
    applyZoom();
}

void QCefView::applyZoom()
{
    if (!m_browserWindow)
        return;
    m_browserWindow->setTransformOrigin(QQuickItem::TopLeft);
    m_browserWindow->setScale(1.0 / m_zoom);
    m_browserWindow->setProperty("zoomFactor", m_zoom);
}

void QCefView::load(QString url)
{
    if (QCefBrowser *browser = mainBrowser())
        browser->loadUrl(url);
}

void QCefView::sendToWeb(QString msg)
{
    if (QCefBrowser *browser = mainBrowser())
        browser->executeJavaScript(msg);
}

void QCefView::resetHomePage()
{
    if (QCefBrowser *browser = mainBrowser())
        browser->executeJavaScript(QStringLiteral("document.getElementById('home').click();"));
}

void QCefView::onCloseBrowser(QCefBrowser *browser)
{
    if (!browser)
        return;
    const int id = browser->GetIdentifier();
    if (m_app)
        m_app->closeBrowser(id);
    for (int i = 0; i < m_windows.size(); ++i) {
        QCefClient *client = m_windows.at(i).second;
        if (!client || (client->browser() && client->browser()->GetIdentifier() == id)) {
            m_windows.removeAt(i);
            break;
        }
    }
}

void QCefView::openNewWindow(QString id, QString title, QString url, int width, int height)
{
    if (!m_rootWindow || !m_app)
        return;
    for (const auto &entry : m_windows) {
        if (entry.first != id || !entry.second)
            continue;
        QCefBrowser *browser = entry.second->browser();
        if (browser && browser->topLevel()) {
            QQuickWindow *window = browser->topLevel();
            browser->loadUrl(url);
            if (!window->isVisible())
                window->setVisibility(QWindow::AutomaticVisibility);
            window->raise();
            window->requestActivate();
        }
        return;
    }
    if (QCefClient *client = m_app->createBrowser(this, title, true, url, width, height))
        m_windows.append({ id, client });
}

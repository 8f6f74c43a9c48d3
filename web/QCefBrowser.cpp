#include "web/QCefBrowser.h"

#include <QFileInfo>
#include <QUrl>

QCefBrowser::QCefBrowser(int identifier, QQuickItem *item, QQuickWindow *topLevel, QObject *parent)
    : QObject(parent)
    , m_identifier(identifier)
    , m_item(item)
    , m_topLevel(topLevel)
{
}

QCefBrowser::~QCefBrowser() { closeHost(true); }

QUrl QCefBrowser::toUrl(const QString &text)
{
    // Settings hand out plain paths for local pages (the 404 page).
    if (QFileInfo(text).isAbsolute() && !text.contains(QStringLiteral("://")))
        return QUrl::fromLocalFile(text);
    return QUrl::fromUserInput(text);
}

void QCefBrowser::loadUrl(const QString &url)
{
    if (m_item)
        m_item->setProperty("url", toUrl(url));
}

QString QCefBrowser::url() const { return m_item ? m_item->property("url").toUrl().toString() : QString(); }

void QCefBrowser::executeJavaScript(const QString &code)
{
    if (m_item)
        QMetaObject::invokeMethod(m_item, "runJavaScript", Q_ARG(QString, code));
}

void QCefBrowser::closeHost(bool immediately)
{
    // The window owns the item when there is one.
    if (m_topLevel) {
        QQuickWindow *window = m_topLevel;
        m_topLevel.clear();
        m_item.clear();
        window->hide();
        if (immediately)
            delete window;
        else
            window->deleteLater();
    } else if (m_item) {
        QQuickItem *item = m_item;
        m_item.clear();
        item->setVisible(false);
        item->setParentItem(nullptr);
        if (immediately)
            delete item;
        else
            item->deleteLater();
    }
}

#pragma once

#include <QObject>
#include <QPointer>
#include <QQuickItem>
#include <QQuickWindow>
#include <QString>

// One browser: a Qt WebEngine view item, and for extra windows the top-level
// window around it. Plays the part of the browser, its host and its main frame.
class QCefBrowser : public QObject
{
    Q_OBJECT
public:
    QCefBrowser(int identifier, QQuickItem *item, QQuickWindow *topLevel, QObject *parent = nullptr);
    ~QCefBrowser() override;

    int GetIdentifier() const { return m_identifier; }
    QQuickItem *item() const { return m_item; }
    // The extra window around the view; null for the embedded main browser.
    QQuickWindow *topLevel() const { return m_topLevel; }
    bool hasView() const { return !m_item.isNull(); }

    void loadUrl(const QString &url);
    QString url() const;
    void executeJavaScript(const QString &code);
    // Destroys the view (and its window); safe to call more than once. At
    // teardown there is no event loop left to run deferred deletes.
    void closeHost(bool immediately = false);

    static QUrl toUrl(const QString &text);

private:
    int m_identifier;
    QPointer<QQuickItem> m_item;
    QPointer<QQuickWindow> m_topLevel;
};

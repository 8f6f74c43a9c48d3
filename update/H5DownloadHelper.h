#pragma once

#include <QObject>
#include <QString>

#include <functional>

// Lets a web view save a file the user names: the QML singleton
// "H5DownloadHelper", and the path every download of the client's browser
// takes. Works on Qt WebEngine's download item through its "path" property
// and "accept" method. One process-wide instance; GUI thread.
class H5DownloadHelper : public QObject
{
    Q_OBJECT
public:
    // The proposed path and the filter in, the chosen path out (empty:
    // cancelled).
    using AskPath = std::function<QString(const QString &proposed, const QString &filter)>;

    static H5DownloadHelper *instance();
    explicit H5DownloadHelper(QObject *parent = nullptr);

    // Replaces the save dialog (tests).
    void setAskPath(AskPath ask) { m_ask = std::move(ask); }

    // A name chosen: it becomes the item's path and the item is accepted.
    // Cancelled: the item is left as it is (Qt WebEngine then cancels it).
    Q_INVOKABLE void onDownloadRequested(QObject *download);

private:
    AskPath m_ask;
};

#include "update/H5DownloadHelper.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QVariant>

H5DownloadHelper *H5DownloadHelper::instance()
{
    static auto *self = new H5DownloadHelper();
    return self;
}

H5DownloadHelper::H5DownloadHelper(QObject *parent)
    : QObject(parent)
    , m_ask([](const QString &proposed, const QString &filter) {
        // Unattended runs (tests, demos) take the proposed name without asking.
        if (qEnvironmentVariableIsSet("LUMIRA_DIALOG_AUTO_ACCEPT_MS"))
            return proposed;
        return QFileDialog::getSaveFileName(nullptr, QStringLiteral("Save File"), proposed, filter);
    })
{
}

void H5DownloadHelper::onDownloadRequested(QObject *download)
{
    if (!download)
        return;
    const QString proposed = download->property("path").toString();
    const QString chosen = m_ask(proposed, QStringLiteral("*.") + QFileInfo(proposed).suffix());
    if (chosen.isEmpty())
        return;
    download->setProperty("path", chosen);
    QMetaObject::invokeMethod(download, "accept");
}

#pragma once

#include <QObject>
#include <QPoint>
#include <QRect>
#include <QStringList>
#include <QVariantMap>

class QScreen;

// Screen geometry, zoom and process helpers for QML ("cppTool"), plus the
// file, process and archive helpers other subsystems call.
class Tools : public QObject
{
    Q_OBJECT
public:
    static Tools *instance();
    explicit Tools(QObject *parent = nullptr);

    Q_INVOKABLE QString formatPath(QString path);
    Q_INVOKABLE QString getFileName(QString fullName);
    // Whether a folder the user picked exists and takes new files; a folder
    // URL from a dialog is accepted.
    Q_INVOKABLE bool isWritableDir(QString path);
    Q_INVOKABLE int getMouseDesktopInt(QPoint mouse);
    Q_INVOKABLE QRect getAvailableRect();
    Q_INVOKABLE int getAvailableWidth();
    Q_INVOKABLE int getAvailableHeight();
    Q_INVOKABLE int getAvailableX();
    Q_INVOKABLE int getAvailableY();
    Q_INVOKABLE QRect getNowAvailableRect(QPoint mouse);
    Q_INVOKABLE int getNowAvailableWidth(QPoint mouse);
    Q_INVOKABLE int getNowAvailableHeight(QPoint mouse);
    Q_INVOKABLE int getNowAvailableX(QPoint mouse);
    Q_INVOKABLE int getNowAvailableY(QPoint mouse);
    Q_INVOKABLE double getZoomFactor();
    Q_INVOKABLE double getNowZoomFactor(QPoint mouse);
    // Whether translucent windows are blended over the desktop. Without it
    // they come out opaque: eye protection tints inside our windows instead
    // and the dialogs draw an opaque frame.
    Q_INVOKABLE bool isCompositing();
    Q_INVOKABLE QPoint getMousePos();
    Q_INVOKABLE void killProcess(QString process);
    Q_INVOKABLE void reinstall();
    // Asks for this program to be started again once this process has ended:
    // after the single-instance lock is gone and the quit sweep has run, so the
    // new process is neither refused nor killed. The caller quits.
    Q_INVOKABLE void requestRestart();
    // Where main() looks after the application has ended; empty: no restart.
    static QString restartProgram();

    // Native helpers.
    // Kills every process of that executable name except this one; returns how many.
    static int killProcessByName(const QString &exeName);
    static bool isProcessRunning(const QString &exeName);
    static bool startDetached(const QString &program, const QStringList &arguments = {});
    static bool copyDirectory(const QString &from, const QString &to);
    static bool removePath(const QString &path); // a file, or a directory tree
    static QVariantMap jsonToMap(const QString &json);
    static bool zipDirectory(const QString &archive, const QString &directory);
    static QStringList unzipArchive(const QString &archive, const QString &directory);

signals:
    void sgActive(QString objectName);
    void sgInactive();

private:
    // The screen containing the point; the primary one when none does.
    static QScreen *screenAt(const QPoint &point);
};

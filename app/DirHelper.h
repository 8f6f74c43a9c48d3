#pragma once

#include <QObject>
#include <QReadWriteLock>
#include <QString>

// Layout of the per-user data directory ("cppDir"). Paths are built from the
// current root at every call, so a root change reaches every later caller.
class DirHelper : public QObject
{
    Q_OBJECT
public:
    // Creates the directories; a failure there ends the process (exit code 0).
    DirHelper();
    ~DirHelper() override;

    static DirHelper *instance();

    Q_INVOKABLE QString configPath() const;
    Q_INVOKABLE QString logPath() const;
    Q_INVOKABLE QString logPathWithMedia() const;
    Q_INVOKABLE QString logPathWithTRtc() const;
    Q_INVOKABLE QString logPathWithAgora() const;
    Q_INVOKABLE QString dumpPath() const;
    Q_INVOKABLE QString recordPath() const;
    Q_INVOKABLE QString dbPath() const;
    Q_INVOKABLE QString downloadPath() const;
    Q_INVOKABLE QString updatePath() const;
    Q_INVOKABLE QString cefCachePath() const;
    Q_INVOKABLE QString getAppPath() const;
    Q_INVOKABLE QString macResourcesPath() const;
    Q_INVOKABLE QString getAppData() const;
    Q_INVOKABLE QString getCurrentDirPath() const;

    // False, with nothing stored or changed, for a refused folder and for one
    // that cannot be created or written. A change reaches the recorder, the
    // status table and the logs at the next start.
    Q_INVOKABLE bool changeDirPath(QString path);
    Q_INVOKABLE void resetMainPath();

    // Pure part of changeDirPath: the root a picked folder leads to, or an empty
    // string when the folder is refused.
    static QString rootForPickedFolder(const QString &picked);

private:
    static QString platformDefaultRoot();
    void storeRoot(const QString &root);
    QString storedRoot() const;
    void createDirectories();
    // Creates `root` and its tree without ending the process; false when it
    // cannot be created or does not take files.
    static bool prepareRoot(const QString &root);
    QString under(const QString &a, const QString &b = QString()) const;

    mutable QReadWriteLock m_lock; // getters run on worker threads too
    QString m_root;
};

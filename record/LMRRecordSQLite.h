#pragma once

#include "record/RecordClock.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <memory>

class QSqlTableModel;
class QThread;

// What an update changes; each field has a value that leaves its column alone.
struct RecordStatusChange {
    QString userID; // empty: unchanged
    qint64 stopTime = -1; // negative: unchanged
    QString upload; // empty: unchanged
    int del = 0; // 1 marks the local file deleted; anything else: unchanged
};

// Per lesson and user: when the recording started and last wrote, whether and
// where it was uploaded, whether the local MP3 is gone. One SQLite file, one
// mutex around every operation. Qt lets a connection be used only on the
// thread that made it, so each calling thread gets its own connection and
// table model, made on its first call and dropped when the thread finishes.
class LMRRecordSQLite
{
public:
    // The process's store on dbPath()/lumiraRecordSql.db, opened on first use.
    static LMRRecordSQLite *instance();

    // A store on any file; tests give their own file, connection and clock.
    // The connection made here, for the calling thread, has connectionName;
    // those of other threads are named after it.
    LMRRecordSQLite(const QString &filePath, const QString &connectionName, RecordClock clock = systemRecordClock());
    ~LMRRecordSQLite();
    LMRRecordSQLite(const LMRRecordSQLite &) = delete;
    LMRRecordSQLite &operator=(const LMRRecordSQLite &) = delete;

    // Whether the file opened when the store was made; if not, every call fails.
    bool isOpen() const { return m_opened; }

    bool add(QString token, QString userID, QString role);
    bool update(QString token, QString userID, RecordStatusChange change);
    // Re-labels every row of (token, userID) with the user "0" so that none of
    // them matches any more. No row is the usual case of a new recording and
    // not a failure; false only when the write itself fails.
    bool retire(const QString &token, const QString &userID);
    bool getTokenIsNotEmpty(QString token, QString userID);
    qint64 getRecordStopTime(QString token, QString userID);
    QString getDate(QString token, QString userID);
    QString getRole(QString token, QString userID);
    QStringList getDeletableTokens();
    QStringList getUnuploadedTokens(QString userID);

    static constexpr qint64 kIdleBeforeAutoUploadMs = 10800000; // 3 hours

    // Text as an SQL string literal: quotes doubled, so a token cannot end the literal.
    static QString quoted(const QString &value);

private:
    struct ThreadConnection;
    struct Connections;
    class Operation;

    // The calling thread's connection, opened on its first call; the lock is held.
    ThreadConnection *threadConnection();
    std::unique_ptr<ThreadConnection> open(const QString &name) const;
    void watchThreadEnd(QThread *thread, ThreadConnection &connection);

    // Selects the rows of (token, userID); the number of rows, -1 without a table.
    static int selectPair(QSqlTableModel *model, const QString &token, const QString &userID);
    static bool writeColumn(QSqlTableModel *model, const QString &column, const QVariant &value);
    bool writeStopTime(const QString &token, const QString &userID, qint64 stopTime);
    static QStringList tokensWhere(
        QSqlTableModel *model, const QString &filter, const std::function<bool(int row)> &keep);

    QString m_filePath;
    QString m_connectionName;
    RecordClock m_clock;
    bool m_opened = false;
    // Shared with the hooks on the threads' ends, which may run while the store goes away.
    std::shared_ptr<Connections> m_connections;
};

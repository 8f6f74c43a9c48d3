#pragma once

#include "record/RecordClock.h"

#include <QMutex>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <memory>

class QSqlTableModel;

// What an update changes; each field has a value that leaves its column alone.
struct RecordStatusChange {
    QString userID; // empty: unchanged
    qint64 stopTime = -1; // negative: unchanged
    QString upload; // empty: unchanged
    int del = 0; // 1 marks the local file deleted; anything else: unchanged
};

// Per lesson and user: when the recording started and last wrote, whether and
// where it was uploaded, whether the local MP3 is gone. One SQLite file, one
// table model, one mutex around every operation.
class LMRRecordSQLite
{
public:
    // The process's store on dbPath()/lumiraRecordSql.db, opened on first use.
    static LMRRecordSQLite *instance();

    // A store on any file; tests give their own file, connection and clock.
    LMRRecordSQLite(const QString &filePath, const QString &connectionName, RecordClock clock = systemRecordClock());
    ~LMRRecordSQLite();
    LMRRecordSQLite(const LMRRecordSQLite &) = delete;
    LMRRecordSQLite &operator=(const LMRRecordSQLite &) = delete;

    bool isOpen() const { return m_model != nullptr; }

    bool add(QString token, QString userID, QString role);
    bool update(QString token, QString userID, RecordStatusChange change);
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
    // Selects the rows of (token, userID); the number of rows, -1 without a table.
    int selectPair(const QString &token, const QString &userID);
    bool writeColumn(const QString &column, const QVariant &value);
    QStringList tokensWhere(const QString &filter, const std::function<bool(int row)> &keep);

    QMutex m_mutex;
    QString m_connectionName;
    RecordClock m_clock;
    QSqlDatabase m_db;
    std::unique_ptr<QSqlTableModel> m_model;
};

// Names from outside (the page's token and user id, rows of the status
// table, the stored user) never make or delete a file outside the record
// directory.
#include "GTestMain.h"
#include "RecordCheck.h"
#include "TestEnv.h"

#include "record/AudioDataDispatcher.h"
#include "record/AudioDataDispatcherController.h"
#include "record/AudioUpload.h"
#include "record/LMRRecordSQLite.h"
#include "record/RecordName.h"
#include "record/UploadState.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <gtest/gtest.h>

using recordcheck::freshDir;
using testenv::logText;
using testenv::waitUntil;

namespace
{

// Everything under `dir`, as paths relative to it (SQLite's own side files aside).
QStringList tree(const QString &dir)
{
    QStringList found;
    const QDir root(dir);
    for (const QFileInfo &info : root.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System)) {
        if (info.fileName().contains(QLatin1String(".db-")))
            continue;
        found << info.fileName();
        if (info.isDir() && !info.isSymLink())
            for (const QString &inner : tree(info.filePath()))
                found << info.fileName() + "/" + inner;
    }
    found.sort();
    return found;
}

void touch(const QString &path)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("x");
}

const QString kNul = QString(QChar(0));

QStringList escapingNames()
{
    return { "../x", "a/b", "..", ".", "", "undefined", "null", "C:evil", "a\\b", "/etc/passwd", "x" + kNul + "y",
        "a\nb", "tab\there", QString(129, 'a'), QString::fromUtf16(u"ab\u202Ecd"), QString(QChar(0xD800)) };
}

} // namespace

TEST(RecordNames, PlainComponentsOnly)
{
    for (const QString &name : escapingNames())
        EXPECT_FALSE(recordname::isPlainFileNameComponent(name)) << recordname::forLog(name).toStdString();
    for (const QString &name :
        { QStringLiteral("lesson-42_a.b"), QStringLiteral("x"), QString(128, 'a'), QString::fromUtf8("课程7"),
            QStringLiteral("...a"), QStringLiteral("10001"), QStringLiteral("Undefined1") })
        EXPECT_TRUE(recordname::isPlainFileNameComponent(name)) << name.toStdString();
    EXPECT_EQ(recordname::forLog("a\nb\r" + kNul), QStringLiteral("a\\nb\\r\\x00"));
}

TEST(RecordNames, TheRecorderRefusesThemAndMakesNothing)
{
    const QString dir = freshDir("refused");
    const QString recordDir = dir + "/rec/sub";
    QDir().mkpath(recordDir);
    LMRRecordSQLite db(dir + "/status.db", "refused");
    RecordState st;
    {
        AudioDataDispatcherController recorder(st, &db, recordDir);
        for (const QString &bad : escapingNames()) {
            SCOPED_TRACE(recordname::forLog(bad).toStdString());
            EXPECT_FALSE(recorder.startRecord(bad, "10001", "teacher"));
            EXPECT_FALSE(recorder.startRecord("tok", bad, "teacher"));
            EXPECT_FALSE(recorder.handUpload(bad, true));
            EXPECT_FALSE(recorder.handUpload(bad));
        }
        waitUntil([] { return false; }, 300);
        EXPECT_TRUE(st.currentRecordToken().isEmpty());
        EXPECT_TRUE(recorder.startRecord("tok", "10001", "teacher"));
        ASSERT_TRUE(waitUntil([&] { return !st.fileClosed; }, 3000));
        recorder.stopRecord();
        ASSERT_TRUE(waitUntil([&] { return st.currentRecordToken().isEmpty(); }, 5000));
    }
    EXPECT_EQ(tree(dir), QStringList({ "rec", "rec/sub", "rec/sub/tok_10001_pc.mp3", "status.db" }));
    EXPECT_TRUE(logText().contains(QStringLiteral("音频录制: 拒绝不合法的录制名:a\\nb")));

    // The dispatcher itself, whoever calls it.
    LMRRecordSQLite alone(dir + "/alone.db", "alone");
    AudioDataDispatcher dispatcher(st, &alone, recordDir);
    dispatcher.startRecord("../escape", "10001", "teacher");
    dispatcher.startRecord("escape", "../../10001", "teacher");
    EXPECT_TRUE(st.currentRecordToken().isEmpty());
    EXPECT_EQ(tree(dir), QStringList({ "alone.db", "rec", "rec/sub", "rec/sub/tok_10001_pc.mp3", "status.db" }));
}

TEST(RecordNames, DeletionStaysInsideTheRecordDirectory)
{
    const QString dir = freshDir("deletion");
    const QString recordDir = dir + "/rec";
    QDir().mkpath(recordDir + "/folder_pc.mp3");
    touch(dir + "/victim.mp3");
    touch(recordDir + "/mine.mp3");
    ASSERT_TRUE(QFile::link(dir + "/victim.mp3", recordDir + "/link.mp3"));
    ASSERT_TRUE(QFile::link(dir + "/nowhere.mp3", recordDir + "/dangling.mp3"));

    EXPECT_TRUE(recordname::removeRecording(recordDir, "mine.mp3"));
    EXPECT_FALSE(QFileInfo::exists(recordDir + "/mine.mp3"));
    EXPECT_TRUE(recordname::removeRecording(recordDir, "gone.mp3")) << "nothing to delete";
    for (const QString &name : { QStringLiteral("../victim.mp3"), QStringLiteral("link.mp3"),
             QStringLiteral("dangling.mp3"), QStringLiteral("folder_pc.mp3"), QStringLiteral(".."),
             QString("victim.mp3" + kNul + "x"), dir + "/victim.mp3" })
        EXPECT_FALSE(recordname::removeRecording(recordDir, name)) << recordname::forLog(name).toStdString();
    EXPECT_TRUE(QFileInfo::exists(dir + "/victim.mp3"));
    EXPECT_TRUE(QFileInfo(recordDir + "/link.mp3").isSymLink());
    EXPECT_TRUE(QFileInfo(recordDir + "/dangling.mp3").isSymLink());
    EXPECT_TRUE(QFileInfo(recordDir + "/folder_pc.mp3").isDir());
    EXPECT_TRUE(logText().contains(QStringLiteral("音频录制: 拒绝删除录制目录以外的文件:")));
}

TEST(RecordNames, AHostileStatusTableDeletesNothingOutside)
{
    const QString dir = freshDir("hostile");
    const QString recordDir = dir + "/rec";
    QDir().mkpath(recordDir);
    const QString dbFile = dir + "/status.db";
    LMRRecordSQLite db(dbFile, "hostile");
    // Rows old enough to be cleaned up, written by another tool.
    {
        QSqlDatabase side = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("side"));
        side.setDatabaseName(dbFile);
        ASSERT_TRUE(side.open());
        const QString old = QDate::currentDate().addDays(-40).toString(QStringLiteral("yyyy-MM-dd"));
        for (const QString &token : { QStringLiteral("../victim"), QStringLiteral("a/../../victim"),
                 QStringLiteral("..\\victim"), QStringLiteral("link"), QStringLiteral("old") }) {
            QSqlQuery insert(side);
            insert.prepare(QStringLiteral("INSERT INTO RecordStatus VALUES (?, '10001', 'teacher', '0', '0', "
                                          "'https://bucket/x.mp3', ?, '00:00:00:000', '0')"));
            insert.addBindValue(token);
            insert.addBindValue(old);
            ASSERT_TRUE(insert.exec());
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("side"));
    touch(dir + "/victim_10001_pc.mp3");
    touch(dir + "/elsewhere.mp3");
    ASSERT_TRUE(QFile::link(dir + "/elsewhere.mp3", recordDir + "/link_10001_pc.mp3"));
    touch(recordDir + "/old_10001_pc.mp3");

    // A stored user id that climbs out is no way out: "old_/../../x_pc.mp3"
    // would be the file beside the record directory.
    QDir().mkpath(recordDir + "/old_");
    touch(dir + "/x_pc.mp3");
    {
        UploadState upload;
        AudioUpload climbing(upload, &db, recordDir, "/../../x");
    }
    EXPECT_TRUE(QFileInfo::exists(dir + "/x_pc.mp3"));

    UploadState upload;
    AudioUpload cleanup(upload, &db, recordDir, "10001"); // cleans up at once
    EXPECT_FALSE(QFileInfo::exists(recordDir + "/old_10001_pc.mp3")) << "the real old recording goes";
    EXPECT_TRUE(QFileInfo::exists(dir + "/victim_10001_pc.mp3"));
    EXPECT_TRUE(QFileInfo::exists(dir + "/elsewhere.mp3"));
    EXPECT_TRUE(QFileInfo(recordDir + "/link_10001_pc.mp3").isSymLink());
    EXPECT_TRUE(logText().contains(QStringLiteral("数据库: 跳过不合法的录制名:../victim")));
}

int main(int argc, char **argv)
{
    testenv::enterSandbox("record_names");
    return testenv::runGoogleTests(argc, argv, "LMRApp_record_names.log");
}

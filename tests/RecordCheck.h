#pragma once
// Helpers of the recording tests: engine-like tone frames, a look into the
// status table through a connection of its own, fresh folders and a clock
// that tests move.
#include "TestEnv.h"

#include "record/AVFrameWrapper.h"
#include "record/RecordClock.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
}

#include <QDateTime>
#include <QDir>
#include <QSharedPointer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

#include <cmath>
#include <cstdint>

namespace recordcheck
{

// 10 ms of 16 kHz mono tone as the engines deliver it: linesize[0] is the byte count.
inline QSharedPointer<AVFrameWrapper> toneFrame(double hz, long &t)
{
    AVFrame *frame = av_frame_alloc();
    frame->format = AV_SAMPLE_FMT_S16;
    frame->sample_rate = 16000;
    frame->nb_samples = 160;
    av_channel_layout_default(&frame->ch_layout, 1);
    av_frame_get_buffer(frame, 1);
    auto *s = reinterpret_cast<int16_t *>(frame->data[0]);
    for (int i = 0; i < 160; ++i, ++t)
        s[i] = int16_t(9000 * std::sin(2 * 3.14159265358979323846 * hz * double(t) / 16000));
    return QSharedPointer<AVFrameWrapper>::create(frame);
}

// Rows of the status table matching `where`; -1 when the file cannot be read.
inline int rowCount(const QString &file, const QString &where)
{
    int count = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("recordcheck"));
        db.setDatabaseName(file);
        if (db.open()) {
            QSqlQuery query(db);
            if (query.exec(QStringLiteral("SELECT COUNT(*) FROM RecordStatus WHERE ") + where) && query.next())
                count = query.value(0).toInt();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("recordcheck"));
    return count;
}

// A fresh, empty folder under the sandbox.
inline QString freshDir(const QString &name)
{
    const QString dir = QDir(testenv::sandboxRoot()).filePath(name);
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    return dir;
}

// A clock that stands still until the test moves it.
struct ManualClock {
    qint64 now = QDateTime::currentMSecsSinceEpoch();
    RecordClock clock()
    {
        return [this]() { return now; };
    }
};

} // namespace recordcheck

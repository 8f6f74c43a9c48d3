#pragma once

#include <QMap>
#include <QMutex>
#include <QString>
#include <QStringList>

#include <atomic>

// What the upload queue, its runner and the result callbacks share.
struct UploadState {
    static UploadState &process();

    QMutex queueLock; // guards queue and callH5
    QStringList queue; // tokens waiting for upload, next first
    QMap<QString, bool> callH5; // per token: the page hears of failures

    std::atomic<bool> uploading { false };
    std::atomic<bool> exit { false };
    std::atomic<int> route { 0 }; // 0 regional, 1 acceleration, 2 the service's form upload
};

namespace uploadnames
{
inline QString comId(const QString &token) { return QStringLiteral("RecordMp3Upload|") + token; }
inline QString bucket() { return QStringLiteral("lumira-files"); }
inline QString objectKey(const QString &date, const QString &token, const QString &userID)
{
    return QStringLiteral("pc-class-voice/") + date + QLatin1Char('/') + token + QLatin1Char('_') + userID
        + QStringLiteral("_pc.mp3");
}
// The token of a com_id of ours, or empty for anybody else's.
inline QString tokenOf(const QString &comId)
{
    const QStringList fields = comId.split(QLatin1Char('|'));
    return fields.size() >= 2 && fields[0] == QLatin1String("RecordMp3Upload") ? fields[1] : QString();
}
} // namespace uploadnames

#pragma once

#include <QMap>
#include <QMutex>
#include <QString>
#include <QStringList>

#include <atomic>

// Whose recording a queued token is. Taken from the class information on the
// controller's (GUI) thread when the token is queued: the upload threads never
// read the class information, which the GUI thread may be changing.
struct UploadOwner {
    QString userId;
    bool teacher = false;
};

// What the upload queue, its runner and the result callbacks share.
struct UploadState {
    static UploadState &process();

    QMutex queueLock; // guards queue, callH5, owners and autoUploadOwner
    QStringList queue; // tokens waiting for upload, next first
    QMap<QString, bool> callH5; // per token: the page hears of failures
    QMap<QString, UploadOwner> owners; // per queued or uploading token
    UploadOwner autoUploadOwner; // the user whose old recordings autoUpload() looks for

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

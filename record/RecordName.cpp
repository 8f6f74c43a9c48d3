#include "record/RecordName.h"

#include "app/TSpdlog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace recordname
{
namespace
{
bool plain(const QString &text, int maxLength)
{
    if (text.isEmpty() || text.size() > maxLength || text == QLatin1String(".") || text == QLatin1String(".."))
        return false;
    for (const QChar c : text) {
        // ':' names a drive or an alternate data stream on Windows, and the
        // rest of the set has no place in a Windows file name either: the
        // same names must work on every platform the client ships for.
        static const QString kForbidden = QStringLiteral("/\\:*?\"<>|");
        if (kForbidden.contains(c) || c.unicode() < 0x20 || c.category() == QChar::Other_Control
            || c.category() == QChar::Other_Format)
            return false;
    }
    // A lone surrogate has no file name: two such tokens would share one file.
    return QStringView(text).isValidUtf16();
}
} // namespace

bool isPlainFileNameComponent(const QString &text)
{
    return plain(text, kMaxComponentLength) && text != QLatin1String("undefined") && text != QLatin1String("null");
}

bool isPlainFileName(const QString &name) { return plain(name, kMaxFileNameLength); }

QString forLog(const QString &text)
{
    constexpr int kShown = 200;
    QString out = TSpdlog::escapeControls(text.left(kShown));
    if (text.size() > kShown)
        out += QStringLiteral("...(%1)").arg(text.size());
    return out;
}

bool removeRecording(const QString &recordDir, const QString &fileName)
{
    TSpdlog *log = TSpdlog::instance();
    const QString path = QDir(recordDir).filePath(fileName);
    if (!isPlainFileName(fileName)) {
        log->avError(QStringLiteral("音频录制: 拒绝删除录制目录以外的文件:") + forLog(path));
        return false;
    }
    const QFileInfo file(path);
    if (!file.exists() && !file.isSymLink())
        return true;
    const QString dir = QFileInfo(recordDir).canonicalFilePath();
    if (file.isSymLink() || !file.isFile() || dir.isEmpty()
        || QFileInfo(file.canonicalPath()).canonicalFilePath() != dir) {
        log->avError(QStringLiteral("音频录制: 拒绝删除录制目录以外的文件:") + forLog(path));
        return false;
    }
    return QFile::remove(file.canonicalFilePath());
}
} // namespace recordname

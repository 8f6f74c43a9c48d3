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
        // ':' names a drive or an alternate data stream on Windows.
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QLatin1Char(':') || c.unicode() < 0x20
            || c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
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
    QString out;
    for (const QChar c : text.left(kShown)) {
        if (c == QLatin1Char('\n'))
            out += QLatin1String("\\n");
        else if (c == QLatin1Char('\r'))
            out += QLatin1String("\\r");
        else if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
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

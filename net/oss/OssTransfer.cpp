// Whole-file transfers of OssClient: multipart uploads and ranged downloads
// on threads of their own, with every part checked.
#include "net/oss/OssClient.h"

#include "net/oss/OssWire.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QRandomGenerator>
#include <QStorageInfo>
#include <QThread>
#include <QXmlStreamReader>

#include <algorithm>
#include <atomic>
#include <memory>
#include <vector>

namespace oss
{
namespace
{

// Writes one range of a download into its place in the file, and no more
// than the range: a store that sends more fails the range.
class RangeSink : public QIODevice
{
public:
    RangeSink(QFile &file, qint64 start, qint64 length, std::function<void(qint64 total)> written)
        : m_file(file)
        , m_start(start)
        , m_length(length)
        , m_onWritten(std::move(written))
    {
        open(QIODevice::WriteOnly);
    }
    qint64 written() const { return m_written; }
    bool seek(qint64 pos) override
    {
        m_written = pos; // a retry starts the range again
        return QIODevice::seek(pos);
    }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 length) override
    {
        if (m_written + length > m_length || !m_file.seek(m_start + m_written))
            return -1;
        const qint64 n = m_file.write(data, length);
        if (n > 0) {
            m_written += n;
            m_onWritten(m_written);
        }
        return n;
    }

private:
    QFile &m_file;
    qint64 m_start;
    qint64 m_length;
    qint64 m_written = 0;
    std::function<void(qint64)> m_onWritten;
};

// Runs `worker` on `count` threads of its own and waits for all of them.
void runOnThreads(int count, const std::function<void()> &worker)
{
    std::vector<std::unique_ptr<QThread>> threads;
    for (int i = 0; i < count; ++i) {
        threads.emplace_back(QThread::create(worker));
        threads.back()->start();
    }
    for (auto &thread : threads)
        thread->wait();
}

// What the part threads of one transfer share: the next part to take, the
// first failure, and the bytes moved so far for the progress callback.
class PartThreads
{
public:
    PartThreads(qint64 size, const TransferProgress &progress)
        : m_size(size)
        , m_progress(progress)
    {
    }

    std::atomic<int> next { 0 };
    std::atomic<bool> failed { false };

    void fail(const Outcome &outcome)
    {
        QMutexLocker lock(&m_failureLock);
        if (!failed)
            m_failure = outcome;
        failed = true;
    }
    Outcome failure() const { return m_failure; } // once the threads are done

    // A callback for one part's running count. A retried part counts again
    // from zero: only what is new over its best attempt is reported.
    std::function<void(qint64)> partCounter()
    {
        return [this, best = qint64(0)](qint64 done) mutable {
            if (done <= best)
                return;
            const qint64 increment = done - best;
            best = done;
            QMutexLocker lock(&m_progressLock); // one callback at a time, in order of the totals
            const qint64 total = m_transferred += increment;
            if (m_progress)
                m_progress(increment, std::min(total, m_size), m_size);
        };
    }

private:
    const qint64 m_size;
    const TransferProgress &m_progress;
    std::atomic<qint64> m_transferred { 0 };
    QMutex m_progressLock;
    Outcome m_failure;
    QMutex m_failureLock;
};

Outcome failed(const QString &error)
{
    Outcome outcome;
    outcome.error = error;
    return outcome;
}

// MD5 and CRC-64 of a whole file, in one pass.
bool fileChecksums(const QString &path, QByteArray &md5, quint64 &crc)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QCryptographicHash hash(QCryptographicHash::Md5);
    Crc64 sum;
    while (!file.atEnd()) {
        const QByteArray chunk = file.read(1 << 20);
        if (chunk.isEmpty())
            return false;
        hash.addData(chunk);
        sum.update(chunk.constData(), chunk.size());
    }
    md5 = hash.result();
    crc = sum.value();
    return true;
}

// A file of its own beside `target`, removed again unless it is taken.
struct TemporaryPath {
    explicit TemporaryPath(const QString &target)
        : m_target(target)
    {
    }
    ~TemporaryPath()
    {
        if (!path.isEmpty())
            QFile::remove(path);
    }
    bool create(qint64 size)
    {
        for (int attempt = 0; attempt < 10 && path.isEmpty(); ++attempt) {
            const QString candidate = m_target + QLatin1Char('.')
                + QString::number(QRandomGenerator::global()->generate64(), 36) + QStringLiteral(".download");
            QFile file(candidate);
            if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
                path = candidate;
                return file.resize(size);
            }
        }
        return false;
    }
    QString path; // empty once taken

private:
    QString m_target;
};

} // namespace

Outcome OssClient::ResumableUploadObject(const UploadObjectRequest &request)
{
    QFile file(request.filePath);
    if (!file.open(QIODevice::ReadOnly))
        return failed(QStringLiteral("cannot open %1").arg(request.filePath));
    const qint64 size = file.size();
    if (size > request.partSize)
        return multipartUpload(request, size);
    return PutObject(request.bucket, request.key, file.readAll(), request.progress);
}

Outcome OssClient::multipartUpload(const UploadObjectRequest &request, qint64 size)
{
    Call initiate;
    initiate.verb = "POST";
    initiate.bucket = request.bucket;
    initiate.key = request.key;
    initiate.query = { { QStringLiteral("uploads"), QString() } };
    initiate.contentType = "application/octet-stream";
    Outcome started = send(initiate);
    const QString uploadId = xmlValue(started.body, QStringLiteral("UploadId")).trimmed();
    if (!started.ok || uploadId.isEmpty() || uploadId.size() > 256) {
        if (started.ok) {
            started.ok = false;
            started.error = QStringLiteral("no usable UploadId in the answer");
        }
        return started;
    }

    const int parts = int((size + request.partSize - 1) / request.partSize);
    std::vector<QByteArray> etags(static_cast<size_t>(parts));
    PartThreads shared(size, request.progress);

    auto worker = [&]() {
        QFile file(request.filePath);
        if (!file.open(QIODevice::ReadOnly)) {
            shared.fail(failed(QStringLiteral("cannot open %1").arg(request.filePath)));
            return;
        }
        for (int index = shared.next++; index < parts && !shared.failed; index = shared.next++) {
            const qint64 offset = qint64(index) * request.partSize;
            const qint64 length = std::min(request.partSize, size - offset);
            Call part;
            part.verb = "PUT";
            part.bucket = request.bucket;
            part.key = request.key;
            part.query = { { QStringLiteral("partNumber"), QString::number(index + 1) },
                { QStringLiteral("uploadId"), uploadId } };
            part.contentType = "application/octet-stream";
            if (!file.seek(offset) || (part.body = file.read(length)).size() != length) {
                shared.fail(failed(QStringLiteral("cannot read %1").arg(request.filePath)));
                return;
            }
            // Content-MD5 lets the store refuse a part changed on the way;
            // the ETag it answers must be the same MD5, or what it keeps is
            // not what we sent.
            part.md5 = true;
            part.checkEtag = true;
            part.uploaded = shared.partCounter();
            const Outcome done = send(part);
            if (!done.ok) {
                shared.fail(done);
                return;
            }
            etags[size_t(index)] = done.headers.value("etag");
        }
    };
    runOnThreads(std::min(request.threadNum, parts), worker);

    if (shared.failed) {
        abortUpload(request, uploadId);
        Outcome failure = shared.failure();
        if (failure.error.isEmpty())
            failure.error = QStringLiteral("part upload failed");
        failure.ok = false;
        return failure;
    }

    QByteArray xml = "<CompleteMultipartUpload>";
    for (int i = 0; i < parts; ++i)
        xml += "<Part><PartNumber>" + QByteArray::number(i + 1) + "</PartNumber><ETag>"
            + QString::fromLatin1(etags[size_t(i)]).toHtmlEscaped().toLatin1() + "</ETag></Part>";
    xml += "</CompleteMultipartUpload>";
    return completeUpload(request, uploadId, xml, size);
}

Outcome OssClient::completeUpload(
    const UploadObjectRequest &request, const QString &uploadId, const QByteArray &xml, qint64 size)
{
    Call complete;
    complete.verb = "POST";
    complete.bucket = request.bucket;
    complete.key = request.key;
    complete.query = { { QStringLiteral("uploadId"), uploadId } };
    complete.contentType = "application/xml";
    complete.body = xml;
    complete.md5 = true;

    Outcome outcome;
    // After a failed attempt the store may still have completed the upload
    // (its answer lost, or an error after the work was done).
    bool unanswered = false;
    for (int attempt = 1; attempt <= m_config.maxAttempts; ++attempt) {
        outcome = sendOnce(complete);
        if (outcome.ok) {
            // A 200 can still carry an error, or be cut: only the result
            // element counts.
            QXmlStreamReader reader(outcome.body);
            bool result = false;
            while (!reader.atEnd() && !result) {
                reader.readNext();
                result = reader.isStartElement() && reader.name() == QLatin1String("CompleteMultipartUploadResult");
            }
            if (result && !xmlValue(outcome.body, QStringLiteral("Code")).isEmpty())
                result = false;
            if (result)
                return outcome;
            outcome.ok = false;
            outcome.error = QStringLiteral("unreadable CompleteMultipartUpload answer");
            break;
        }
        if (unanswered && outcome.status == 404 && outcome.error == QLatin1String("NoSuchUpload")) {
            // The lost answer was a success: the upload is gone because it
            // became the object. Believe it only if the object is ours.
            const Outcome head = HeadObject(request.bucket, request.key);
            QByteArray md5;
            quint64 localCrc = 0, storedCrc = 0;
            bool same = head.ok && contentLength(head) == size;
            if (same && parseChecksum(head.headers.value("x-oss-hash-crc64ecma"), storedCrc))
                same = fileChecksums(request.filePath, md5, localCrc) && localCrc == storedCrc;
            if (same) {
                Outcome done = head;
                done.body.clear();
                return done;
            }
            outcome.error = QStringLiteral("upload gone and the object is not ours");
            break;
        }
        if (!retryable(outcome))
            break;
        unanswered = true;
        if (attempt < m_config.maxAttempts)
            QThread::msleep(200 * attempt);
    }
    abortUpload(request, uploadId); // the parts are not left behind on the store
    return outcome;
}

void OssClient::abortUpload(const UploadObjectRequest &request, const QString &uploadId)
{
    Call abort;
    abort.verb = "DELETE";
    abort.bucket = request.bucket;
    abort.key = request.key;
    abort.query = { { QStringLiteral("uploadId"), uploadId } };
    send(abort);
}

Outcome OssClient::ResumableDownloadObject(const DownloadObjectRequest &request)
{
    const Outcome head = HeadObject(request.bucket, request.key);
    if (!head.ok)
        return head;
    const qint64 size = contentLength(head);
    const QFileInfo target(request.filePath);
    const QStorageInfo volume(target.absolutePath());
    if (volume.isValid() && volume.bytesAvailable() >= 0 && size > volume.bytesAvailable())
        return failed(QStringLiteral("%1 bytes do not fit on %2").arg(size).arg(volume.rootPath()));

    // Written beside the target under a name of its own and put in its place
    // only when complete and checked: a failed download leaves the old file.
    TemporaryPath partial(target.absoluteFilePath());
    if (!partial.create(size))
        return failed(QStringLiteral("cannot write beside %1").arg(request.filePath));

    const int parts = size == 0 ? 0 : int((size + request.partSize - 1) / request.partSize);
    PartThreads shared(size, request.progress);
    QMutex checksumLock;
    QByteArray storedCrc = head.headers.value("x-oss-hash-crc64ecma"); // guarded by checksumLock
    QByteArray storedMd5; // only a whole-object GET carries it; guarded by checksumLock
    auto worker = [&]() {
        QFile out(partial.path);
        if (!out.open(QIODevice::ReadWrite | QIODevice::ExistingOnly)) {
            shared.fail(failed(QStringLiteral("cannot write %1").arg(partial.path)));
            return;
        }
        for (int index = shared.next++; index < parts && !shared.failed; index = shared.next++) {
            const qint64 from = qint64(index) * request.partSize;
            const qint64 to = std::min(size, from + request.partSize) - 1;
            // Each range lands in its own place; a retry rewrites only it.
            RangeSink sink(out, from, to - from + 1, shared.partCounter());
            Call get;
            get.verb = "GET";
            get.bucket = request.bucket;
            get.key = request.key;
            if (parts > 1)
                get.headers = { { "Range", "bytes=" + QByteArray::number(from) + "-" + QByteArray::number(to) } };
            get.sink = &sink;
            Outcome done = send(get);
            if (done.ok && sink.written() != to - from + 1) {
                done.ok = false;
                done.error = QStringLiteral("short range");
            }
            if (done.ok) {
                QMutexLocker lock(&checksumLock);
                const QByteArray crc = done.headers.value("x-oss-hash-crc64ecma");
                if (!crc.isEmpty() && !storedCrc.isEmpty() && crc != storedCrc) {
                    done.ok = false;
                    done.error = QStringLiteral("the object changed during the download");
                } else if (!crc.isEmpty()) {
                    storedCrc = crc;
                }
                if (parts == 1)
                    storedMd5 = done.headers.value("content-md5");
            }
            if (!done.ok) {
                shared.fail(done);
                return;
            }
        }
        if (!out.flush())
            shared.fail(failed(QStringLiteral("cannot write %1").arg(partial.path)));
    };
    runOnThreads(std::min(request.threadNum, std::max(parts, 1)), worker);
    if (shared.failed)
        return shared.failure(); // the temporary file goes with `partial`

    if (QFileInfo(partial.path).size() != size)
        return failed(QStringLiteral("downloaded size differs from %1").arg(size));
    if (!storedCrc.isEmpty() || !storedMd5.isEmpty()) {
        QByteArray md5;
        quint64 crc = 0, expectedCrc = 0;
        if (!fileChecksums(partial.path, md5, crc))
            return failed(QStringLiteral("cannot read %1").arg(partial.path));
        if (!storedCrc.isEmpty() && (!parseChecksum(storedCrc, expectedCrc) || crc != expectedCrc))
            return failed(QStringLiteral("CRC-64 mismatch: the store says %1, the data is %2")
                              .arg(QString::fromLatin1(storedCrc.left(24)))
                              .arg(crc));
        if (!storedMd5.isEmpty() && QByteArray::fromBase64(storedMd5) != md5)
            return failed(QStringLiteral("Content-MD5 mismatch"));
    }
    if (!replaceFile(partial.path, target.absoluteFilePath()))
        return failed(QStringLiteral("cannot put the download in place of %1").arg(request.filePath));
    partial.path.clear(); // it has become the target
    Outcome done = head;
    done.body.clear();
    return done;
}

} // namespace oss

#include "net/LMRAosController.h"

LMRAosController *LMRAosController::instance()
{
    static auto *controller = new LMRAosController();
    return controller;
}

LMRAosController::LMRAosController(LMRAosSettings settings, QObject *parent)
    : QObject(parent)
    , m_settings(std::move(settings))
{
    LMRAos::InitializeSdk();
}

LMRAosController::~LMRAosController()
{
    // Transfers still running are waited for: their workers use this object's signals.
    for (auto it = m_threads.begin(); it != m_threads.end(); ++it) {
        it.value()->quit();
        it.value()->wait();
        delete it.key();
        delete it.value();
    }
}

void LMRAosController::registerReceiver(LMRAosInterface *receiver)
{
    if (receiver && !m_receivers.contains(receiver))
        m_receivers.append(receiver);
}

void LMRAosController::unregisterReceiver(LMRAosInterface *receiver) { m_receivers.removeAll(receiver); }

QString LMRAosController::localPath(QString path) { return path.remove(QStringLiteral("file://")); }

LMRAos *LMRAosController::createWorker()
{
    LMRAos::InitializeSdk();
    auto *worker = new LMRAos(m_settings);
    m_current = worker;
    auto *thread = new QThread;
    worker->moveToThread(thread);
    m_threads.insert(worker, thread);
    connect(worker, &LMRAos::del, this, &LMRAosController::del);
    connect(worker, &LMRAos::sgProgress, this, &LMRAosController::handleProgress);
    connect(worker, &LMRAos::sgEffect, this, &LMRAosController::handleEffect);
    thread->start(QThread::InheritPriority);
    return worker;
}

void LMRAosController::uploadFile(
    QString com_id, QString multithread, QString bucket, QString objectName, QString file, bool enableCDN)
{
    file = localPath(file);
    LMRAos *worker = createWorker();
    if (multithread == QLatin1String("true")) {
        auto c
            = connect(this, &LMRAosController::startUploadMultithreadSignal, worker, &LMRAos::Upload_FILE_Multithread);
        emit startUploadMultithreadSignal(com_id, bucket.toStdString(), objectName.toStdString(), file, enableCDN);
        disconnect(c);
    } else {
        auto c = connect(this, &LMRAosController::startUploadSignal, worker, &LMRAos::Upload_FILE_Simpleness);
        emit startUploadSignal(com_id, bucket.toStdString(), objectName.toStdString(), file, enableCDN);
        disconnect(c);
    }
}

void LMRAosController::downloadFile(
    QString com_id, QString multithread, QString bucket, QString objectName, QString file)
{
    file = localPath(file);
    LMRAos *worker = createWorker();
    if (multithread == QLatin1String("true")) {
        auto c = connect(
            this, &LMRAosController::startDownloadMultithreadSignal, worker, &LMRAos::Download_FILE_Multithread);
        emit startDownloadMultithreadSignal(com_id, bucket.toStdString(), objectName.toStdString(), file);
        disconnect(c);
    } else {
        auto c = connect(this, &LMRAosController::startDownloadSignal, worker, &LMRAos::Download_FILE_Simpleness);
        emit startDownloadSignal(com_id, bucket.toStdString(), objectName.toStdString(), file);
        disconnect(c);
    }
}

void LMRAosController::uploadBuffer(
    QString com_id, QString bucket, QString objectName, std::shared_ptr<std::iostream> buffer)
{
    LMRAos *worker = createWorker();
    auto c = connect(this, &LMRAosController::startUploadBufferSignal, worker, &LMRAos::Upload_BUFFER_Simpleness);
    emit startUploadBufferSignal(com_id, bucket.toStdString(), objectName.toStdString(), std::move(buffer));
    disconnect(c);
}

void LMRAosController::postFile(QString com_id, QString bucket, QString objectName, QString file)
{
    file = localPath(file);
    LMRAos *worker = createWorker();
    auto c = connect(this, &LMRAosController::startUploadPostSignal, worker, &LMRAos::RequestPostFileAtOSS);
    emit startUploadPostSignal(com_id, bucket, objectName, file);
    disconnect(c);
}

void LMRAosController::handleProgress(QString progress_com_id, qlonglong progress)
{
    for (LMRAosInterface *receiver : m_receivers)
        receiver->onAosProgress(progress_com_id, progress);
}

void LMRAosController::handleEffect(QString com_id, QString effect)
{
    for (LMRAosInterface *receiver : m_receivers)
        receiver->onAosEffect(com_id, effect);
}

void LMRAosController::del()
{
    auto *worker = qobject_cast<LMRAos *>(sender());
    QThread *thread = m_threads.value(worker);
    if (!worker || !thread)
        return;
    worker->deleteLater();
    thread->quit();
    thread->wait();
    m_threads.remove(worker);
    thread->deleteLater();
}

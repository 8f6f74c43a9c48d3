#include "web/LMRMsgId.h"

#include "app/TSpdlog.h"

#include <QDeadlineTimer>

namespace
{
void logInfo(const QString &text) { TSpdlog::instance()->otherInfo(text); }
// Ids, names and texts of queued messages come from the page.
QString pageText(const QString &text) { return TSpdlog::escapeControls(text); }
} // namespace

LMRMsgIdConsumer::LMRMsgIdConsumer(LMRMsgId *registry)
    : m_registry(registry)
{
}

void LMRMsgIdConsumer::consumption()
{
    LMRMsgId *r = m_registry;
    r->m_queueMutex.lock();
    quint64 seen = 0;
    r->waitForQueue(seen);
    while (!r->m_stopConsumer) {
        r->m_callbackMutex.lock();
        r->waitForCallbacks();
        r->m_callbackMutex.unlock();
        if (r->m_stopConsumer)
            break;
        seen = r->m_queueGeneration;
        if (!r->m_messageKeys.isEmpty()) {
            const QString key = r->m_messageKeys.first();
            const MsgRecord record = r->m_messages.value(key);
            // Queued to the GUI thread; the head stays until completedMessage.
            emit sgGetMsgId(key, record.id, record.request, record.msg);
        }
        r->m_queueMutex.unlock();
        r->m_queueMutex.lock();
        if (r->m_stopConsumer)
            break;
        r->waitForQueue(seen);
    }
    logInfo(QStringLiteral("消费者退出"));
    r->m_queueMutex.unlock();
}

void LMRMsgId::waitForQueue(quint64 seen)
{
    QDeadlineTimer deadline(m_waitMs);
    while (m_queueGeneration == seen && !m_stopConsumer) {
        if (!m_queueCondition.wait(&m_queueMutex, deadline))
            break;
    }
}

void LMRMsgId::waitForCallbacks()
{
    const quint64 seen = m_callbackGeneration;
    QDeadlineTimer deadline(m_waitMs);
    while (!m_callbacks.isEmpty() && m_callbackGeneration == seen && !m_stopConsumer) {
        if (!m_callbackCondition.wait(&m_callbackMutex, deadline))
            break;
    }
}

LMRMsgId::LMRMsgId(int waitMs, QObject *parent)
    : QObject(parent)
    , m_waitMs(waitMs)
{
    auto *consumer = new LMRMsgIdConsumer(this);
    consumer->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, consumer, &QObject::deleteLater);
    connect(this, &LMRMsgId::sgConsumption, consumer, &LMRMsgIdConsumer::consumption);
    connect(consumer, &LMRMsgIdConsumer::sgGetMsgId, this, &LMRMsgId::getMsgId);
    m_thread.start();
    emit sgConsumption();
}

LMRMsgId::~LMRMsgId()
{
    // The consumer may be waiting for a callback while it holds the queue
    // lock: wake that wait first so the queue lock comes free at once.
    m_stopConsumer = true;
    {
        QMutexLocker lock(&m_callbackMutex);
        m_callbackCondition.wakeAll();
    }
    {
        QMutexLocker lock(&m_queueMutex);
        m_queueCondition.wakeAll();
    }
    m_thread.quit();
    m_thread.wait();
}

LMRMsgId *LMRMsgId::instance()
{
    static LMRMsgId *registry = new LMRMsgId();
    return registry;
}

void LMRMsgId::addMessage(QString key, QString id, QString request, QString msg)
{
    QMutexLocker lock(&m_queueMutex);
    logInfo(QStringLiteral("增加信息队列，key:%1,id:%2,request:%3,msg:%4")
                .arg(key, pageText(id), pageText(request), pageText(msg)));
    m_messageKeys.removeOne(key);
    m_messageKeys.append(key);
    m_messages.insert(key, { id, request, msg });
    if (m_messageKeys.size() == 1) {
        ++m_queueGeneration;
        m_queueCondition.wakeAll();
    }
}

void LMRMsgId::completedMessage(QString key)
{
    QMutexLocker lock(&m_queueMutex);
    logInfo(QStringLiteral("信息已消费，key:%1").arg(key));
    m_messageKeys.removeOne(key);
    if (!m_messageKeys.isEmpty()) {
        ++m_queueGeneration;
        m_queueCondition.wakeAll();
    }
}

bool LMRMsgId::addCallBackMessage(QString key, QString id, QString request, QString msg)
{
    QMutexLocker lock(&m_callbackMutex);
    logInfo(QStringLiteral("增加异步回调，key:%1,id:%2,request:%3,msg:%4")
                .arg(key, pageText(id), pageText(request), pageText(msg)));
    m_callbacks.insert(key, { id, request, msg });
    return true;
}

bool LMRMsgId::hasCallBackMessage(QString key)
{
    QMutexLocker lock(&m_callbackMutex);
    return m_callbacks.contains(key);
}

// A lookup of an absent key leaves nothing behind: an empty entry would count
// as pending and hold back the queue.
MsgRecord LMRMsgId::callbackRecord(const QString &key)
{
    QMutexLocker lock(&m_callbackMutex);
    return m_callbacks.value(key);
}

QString LMRMsgId::getCallBackMessageID(QString key) { return callbackRecord(key).id; }
QString LMRMsgId::getCallBackMessageRequest(QString key) { return callbackRecord(key).request; }
QString LMRMsgId::getCallBackMessageMsg(QString key) { return callbackRecord(key).msg; }

void LMRMsgId::completedCallBackMessage(QString key)
{
    QMutexLocker lock(&m_callbackMutex);
    m_callbacks.remove(key);
    ++m_callbackGeneration;
    m_callbackCondition.wakeAll();
}

QStringList LMRMsgId::queuedKeys()
{
    QMutexLocker lock(&m_queueMutex);
    return m_messageKeys;
}

void LMRMsgId::getMsgId(QString key, QString id, QString request, QString msg)
{
    emit sgGetMsgId(key, id, request, msg);
}

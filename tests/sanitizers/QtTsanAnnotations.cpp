// Linked into the test programs of ThreadSanitizer builds only.
//
// The distribution's Qt is not built with the sanitizer, so it cannot see
// that a QMutex or a QWaitCondition orders two threads, nor that posting an
// event orders the poster before the receiver, and reports races on correctly
// handed-over data. These definitions take the place of Qt's exported ones
// for calls made from our code (Qt's own internal calls stay bound to its
// library) and tell the sanitizer what each call means.
//
// Events are coarser than Qt's truth: every post releases, and every event
// our objects receive acquires, one process-wide token. Races hidden behind
// an unrelated event can then go unseen. Qt builds the event inside the call,
// so the release is repeated when the call returns: a receiver that takes
// the event in the few instructions before that can still be reported.
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEvent>
#include <QMetaObject>
#include <QMutex>
#include <QObject>
#include <QReadWriteLock>
#include <QThread>
#include <QWaitCondition>

#include <dlfcn.h>

extern "C" void __tsan_acquire(void *addr);
extern "C" void __tsan_release(void *addr);

namespace
{
template <typename Fn>
Fn qtOwn(const char *symbol)
{
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, symbol));
}
char g_eventToken = 0;
} // namespace

// Signals and invocations that may be queued to another thread.
void QMetaObject::activate(QObject *sender, const QMetaObject *meta, int localSignalIndex, void **argv)
{
    static const auto own
        = qtOwn<void (*)(QObject *, const QMetaObject *, int, void **)>("_ZN11QMetaObject8activateEP7QObjectPKS_iPPv");
    __tsan_release(&g_eventToken);
    own(sender, meta, localSignalIndex, argv);
    __tsan_release(&g_eventToken);
}

void QMetaObject::activate(QObject *sender, int signalOffset, int localSignalIndex, void **argv)
{
    static const auto own = qtOwn<void (*)(QObject *, int, int, void **)>("_ZN11QMetaObject8activateEP7QObjectiiPPv");
    __tsan_release(&g_eventToken);
    own(sender, signalOffset, localSignalIndex, argv);
    __tsan_release(&g_eventToken);
}

bool QMetaObject::invokeMethodImpl(
    QObject *object, QtPrivate::QSlotObjectBase *slot, Qt::ConnectionType type, void *ret)
{
    static const auto own = qtOwn<bool (*)(QObject *, QtPrivate::QSlotObjectBase *, Qt::ConnectionType, void *)>(
        "_ZN11QMetaObject16invokeMethodImplEP7QObjectPN9QtPrivate15QSlotObjectBaseEN2Qt14ConnectionTypeEPv");
    __tsan_release(&g_eventToken);
    const bool invoked = own(object, slot, type, ret);
    __tsan_release(&g_eventToken);
    __tsan_acquire(&g_eventToken); // a blocking call returns after the receiver ran
    return invoked;
}

void QCoreApplication::postEvent(QObject *receiver, QEvent *event, int priority)
{
    static const auto own
        = qtOwn<void (*)(QObject *, QEvent *, int)>("_ZN16QCoreApplication9postEventEP7QObjectP6QEventi");
    __tsan_release(&g_eventToken);
    own(receiver, event, priority);
    __tsan_release(&g_eventToken);
}

void QObject::deleteLater()
{
    static const auto own = qtOwn<void (*)(QObject *)>("_ZN7QObject11deleteLaterEv");
    __tsan_release(&g_eventToken);
    own(this);
    __tsan_release(&g_eventToken);
}

// Events delivered to our objects, queued slot calls among them.
bool QObject::event(QEvent *event)
{
    static const auto own = qtOwn<bool (*)(QObject *, QEvent *)>("_ZN7QObject5eventEP6QEvent");
    __tsan_acquire(&g_eventToken);
    const bool handled = own(this, event);
    __tsan_release(&g_eventToken);
    return handled;
}

// What a thread did before it ended is seen by whoever waited for it.
bool QThread::wait(QDeadlineTimer deadline)
{
    static const auto own = qtOwn<bool (*)(QThread *, QDeadlineTimer)>("_ZN7QThread4waitE14QDeadlineTimer");
    const bool ended = own(this, deadline);
    __tsan_acquire(&g_eventToken);
    return ended;
}

bool QThread::wait(unsigned long time)
{
    static const auto own = qtOwn<bool (*)(QThread *, unsigned long)>("_ZN7QThread4waitEm");
    const bool ended = own(this, time);
    __tsan_acquire(&g_eventToken);
    return ended;
}

void QMutex::lock() noexcept
{
    static const auto own = qtOwn<void (*)(QMutex *)>("_ZN6QMutex4lockEv");
    own(this);
    __tsan_acquire(this);
}

void QMutex::unlock() noexcept
{
    static const auto own = qtOwn<void (*)(QMutex *)>("_ZN6QMutex6unlockEv");
    __tsan_release(this);
    own(this);
}

bool QMutex::tryLock(int timeout) noexcept
{
    static const auto own = qtOwn<bool (*)(QMutex *, int)>("_ZN6QMutex7tryLockEi");
    const bool locked = own(this, timeout);
    if (locked)
        __tsan_acquire(this);
    return locked;
}

bool QWaitCondition::wait(QMutex *mutex, QDeadlineTimer deadline)
{
    static const auto own = qtOwn<bool (*)(QWaitCondition *, QMutex *, QDeadlineTimer)>(
        "_ZN14QWaitCondition4waitEP6QMutex14QDeadlineTimer");
    __tsan_release(mutex);
    const bool woken = own(this, mutex, deadline);
    __tsan_acquire(mutex);
    return woken;
}

bool QWaitCondition::wait(QMutex *mutex, unsigned long time)
{
    static const auto own
        = qtOwn<bool (*)(QWaitCondition *, QMutex *, unsigned long)>("_ZN14QWaitCondition4waitEP6QMutexm");
    __tsan_release(mutex);
    const bool woken = own(this, mutex, time);
    __tsan_acquire(mutex);
    return woken;
}

void QReadWriteLock::lockForRead()
{
    static const auto own = qtOwn<void (*)(QReadWriteLock *)>("_ZN14QReadWriteLock11lockForReadEv");
    own(this);
    __tsan_acquire(this);
}

void QReadWriteLock::lockForWrite()
{
    static const auto own = qtOwn<void (*)(QReadWriteLock *)>("_ZN14QReadWriteLock12lockForWriteEv");
    own(this);
    __tsan_acquire(this);
}

void QReadWriteLock::unlock()
{
    static const auto own = qtOwn<void (*)(QReadWriteLock *)>("_ZN14QReadWriteLock6unlockEv");
    __tsan_release(this);
    own(this);
}

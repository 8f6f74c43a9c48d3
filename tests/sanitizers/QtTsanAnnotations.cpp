// Linked into the test programs of ThreadSanitizer builds only.
//
// The distribution's Qt is not built with the sanitizer, so it cannot see
// that a QMutex or a QWaitCondition orders two threads, and reports races on
// correctly locked data. These definitions take the place of Qt's exported
// ones for calls made from our code (Qt's own internal calls stay bound to
// its library) and tell the sanitizer what each call means.
#include <QDeadlineTimer>
#include <QMutex>
#include <QReadWriteLock>
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
} // namespace

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

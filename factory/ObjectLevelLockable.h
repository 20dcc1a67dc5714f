#ifndef MODELFACTORY_FACTORY_OBJECTLEVELLOCKABLE_H
#define MODELFACTORY_FACTORY_OBJECTLEVELLOCKABLE_H

#include <contracts/Export.h>

#include <mutex>

namespace Velm {

/// Gives every object of Host a lock of its own: one recursive mutex (the thread that holds it may
/// enter it again), taken through the scoped guard Lock so that every way out releases it.
template <class Host>
class MF_API ObjectLevelLockable {
public:
    ObjectLevelLockable() {}
    ~ObjectLevelLockable() {}
    /// A live lock has no meaningful copy: assignment leaves both locks as they are.
    ObjectLevelLockable& operator=(const ObjectLevelLockable&) { return *this; }

    /// Atomically adds 1 to `value` and returns the new value (full barrier).
    static long AtomicIncrement(volatile long& value) {
        return __atomic_add_fetch(&value, 1L, __ATOMIC_SEQ_CST);
    }
    /// Atomically subtracts 1 from `value` and returns the new value (full barrier).
    static long AtomicDecrement(volatile long& value) {
        return __atomic_sub_fetch(&value, 1L, __ATOMIC_SEQ_CST);
    }
    /// Atomically stores `value` into `target` (full barrier).
    static void AtomicAssign(volatile long& target, long value) {
        (void)__atomic_exchange_n(&target, value, __ATOMIC_SEQ_CST);
    }
    /// Reads `value` once and atomically stores it into `target` (full barrier).
    static void AtomicAssign(long& target, volatile long& value) {
        (void)__atomic_exchange_n(&target, __atomic_load_n(&value, __ATOMIC_SEQ_CST), __ATOMIC_SEQ_CST);
    }

    /// Holds the object's lock for its own lifetime.
    class Lock {
    public:
        explicit Lock(const ObjectLevelLockable& host) : mutex_(host.mutex_) { mutex_.lock(); }
        ~Lock() { mutex_.unlock(); }
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        std::recursive_mutex& mutex_;
    };

private:
    // The copy constructor is not part of the lock's interface; a copy gets a lock of its own.
    mutable std::recursive_mutex mutex_;
};

} // namespace Velm

#endif

#ifndef MODELFACTORY_FACTORY_OBJECTLEVELLOCKABLE_H
#define MODELFACTORY_FACTORY_OBJECTLEVELLOCKABLE_H

#include <contracts/Export.h>

#include <cstdint>
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

    // The host's counters are 32-bit signed on every platform; each operation is a full barrier
    // (sequentially consistent).
    /// Atomically adds 1 to `value` and returns the new value.
    static std::int32_t AtomicIncrement(volatile std::int32_t& value) {
        return __atomic_add_fetch(&value, 1, __ATOMIC_SEQ_CST);
    }
    /// Atomically subtracts 1 from `value` and returns the new value.
    static std::int32_t AtomicDecrement(volatile std::int32_t& value) {
        return __atomic_sub_fetch(&value, 1, __ATOMIC_SEQ_CST);
    }
    /// Atomically stores `value` into `target`.
    static void AtomicAssign(volatile std::int32_t& target, std::int32_t value) {
        (void)__atomic_exchange_n(&target, value, __ATOMIC_SEQ_CST);
    }
    /// Reads `value` once and atomically stores it into `target`.
    static void AtomicAssign(std::int32_t& target, volatile std::int32_t& value) {
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

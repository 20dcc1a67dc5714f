#ifndef MODELFACTORY_PLATFORM_SEQARCHIVE_RECYCLER_H
#define MODELFACTORY_PLATFORM_SEQARCHIVE_RECYCLER_H

#include <boost/make_shared.hpp>
#include <boost/shared_ptr.hpp>

namespace Ovik {

/// Hands objects out through shared pointers and reuses the last one once every other owner has
/// let it go, so that a loop dropping each entry before it asks for the next builds one object
/// (and its buffers) instead of one per entry. Reusing needs no new counter and no atomic
/// operation beyond the copies themselves, which is what makes it pay for short entries.
/// An object still owned elsewhere is never reused; a weak pointer to a dropped one may see it
/// again, refilled. Not thread-safe: one recycler per reader.
template <class T>
class Recycler {
public:
    /// Makes the last object like a new one; false when it cannot be reused. Must not throw.
    using Reset = bool (*)(T&);

    explicit Recycler(Reset reset) : reset_(reset) {}

    /// The last object when nobody else holds it and `reset` agreed, else a new one.
    boost::shared_ptr<T> get() {
        if (!(last_ && last_.use_count() == 1 && reset_(*last_)))
            last_ = boost::make_shared<T>();
        return last_;
    }
    /// Lets the last object go (at the end of the input, say), so that it holds nothing.
    void release() { last_.reset(); }

private:
    Reset reset_;
    boost::shared_ptr<T> last_;
};

} // namespace Ovik

#endif

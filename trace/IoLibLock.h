#ifndef MODELFACTORY_TRACE_IOLIBLOCK_H
#define MODELFACTORY_TRACE_IOLIBLOCK_H

#include <mutex>

namespace Ovik {
namespace detail {

/// The one process-wide lock around every call into the trace decoder, whose readers keep global
/// state (header offsets, the compression flag, the search path) and so cannot run concurrently.
/// Anything else in the process that calls the decoder directly (tests writing fixtures) should
/// hold it too.
std::mutex& ioLibMutex();

} // namespace detail
} // namespace Ovik

#endif

#ifndef MODELFACTORY_PLATFORM_COMMON_READAHEAD_H
#define MODELFACTORY_PLATFORM_COMMON_READAHEAD_H

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace cmn {

/// Runs a byte producer (a decoder) on a thread of its own, ahead of the reader, into a small ring
/// of blocks: decoding then overlaps the reader's own work on another core. Memory is bounded by
/// the ring (allocated as it is first used); the producer waits while every block is full.
class ReadAhead {
public:
    /// Fills `dest` with up to `size` bytes; 0 only at the end. May throw: the exception reaches
    /// the reader after every byte produced before it.
    using Producer = std::function<std::size_t(unsigned char* dest, std::size_t size)>;

    /// True when the producer's next call would wait for its input (a pipe's slow writer): the
    /// bytes made so far are handed to the reader first.
    using Idle = std::function<bool()>;

    /// Starts the thread (std::system_error when it cannot). `produce` and `idle` (may be empty)
    /// run only on that thread from here on, until the end, an exception, or destruction.
    ReadAhead(Producer produce, std::size_t blockSize, std::size_t blocks, Idle idle = nullptr);
    /// Stops the producer (after its current call) and joins the thread, whatever was read.
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    /// Up to `size` bytes in the producer's order into `dest`; 0 only at the end. Rethrows the
    /// producer's exception where the bytes before it end (again on every later call).
    std::size_t read(unsigned char* dest, std::size_t size);

private:
    struct Block {
        std::unique_ptr<unsigned char[]> data;
        std::size_t size = 0;
        bool last = false;        // nothing follows: the end, or `error`
        std::exception_ptr error; // what the producer threw after `size` bytes
    };

    void run();

    Producer produce_;
    Idle idle_;
    const std::size_t blockSize_;
    std::unique_ptr<Block[]> ring_;
    const std::size_t blocks_;
    // The reader owns ring_[head_] while filled_ > 0; the producer owns ring_[(head_ + filled_) %
    // blocks_] while filled_ < blocks_. Each hands a block over under the mutex.
    std::mutex mutex_;
    std::condition_variable ready_; // a block was filled
    std::condition_variable freed_; // a block was emptied, or stop_
    std::size_t head_ = 0;
    std::size_t filled_ = 0;
    std::atomic<bool> stop_{false};
    // The reader's side alone.
    Block* current_ = nullptr;
    std::size_t pos_ = 0;
    std::thread thread_; // last: starts once every member above exists
};

} // namespace cmn

#endif

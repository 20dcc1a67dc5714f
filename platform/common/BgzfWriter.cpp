// BGZF output: blocks deflated by libdeflate, on a pool of threads past the first block.
#include "BgzfWriter.h"

#include <libdeflate.h>

#include <cstring>
#include <system_error>

namespace cmn {

namespace {

constexpr std::size_t kHeader = 18;  // gzip header with the 6-byte "BC" extra field
constexpr std::size_t kTrailer = 8;  // CRC-32 and content size

void put16(unsigned char* at, std::size_t value) {
    at[0] = static_cast<unsigned char>(value);
    at[1] = static_cast<unsigned char>(value >> 8);
}

void put32(unsigned char* at, std::uint32_t value) {
    put16(at, value & 0xffff);
    put16(at + 2, value >> 16);
}

} // namespace

std::size_t packBgzfBlock(libdeflate_compressor* compressor, const unsigned char* content,
                          std::size_t size, unsigned char* member) {
    static const unsigned char header[kHeader - 2] = {0x1f, 0x8b, 8, 4, 0, 0, 0, 0, 0, 0xff,
                                                      6, 0, 'B', 'C', 2, 0};
    std::memcpy(member, header, sizeof header);
    unsigned char* body = member + kHeader;
    std::size_t deflated = libdeflate_deflate_compress(compressor, content, size, body,
                                                       kBgzfMaxBlock - kHeader - kTrailer);
    if (deflated == 0) {
        // Not smaller than the room left: one stored deflate block, which always fits.
        body[0] = 1; // final, stored
        put16(body + 1, size);
        put16(body + 3, ~size & 0xffff);
        std::memcpy(body + 5, content, size);
        deflated = size + 5;
    }
    unsigned char* trailer = body + deflated;
    put32(trailer, libdeflate_crc32(0, content, size));
    put32(trailer + 4, static_cast<std::uint32_t>(size));
    const std::size_t total = kHeader + deflated + kTrailer;
    put16(member + 16, total - 1);
    return total;
}

BgzfWriter::BgzfWriter(int level, ReplacingFile& sink, unsigned threads)
    : sink_(sink), level_(level), threads_(threads), blocks_(1) {
    own_ = libdeflate_alloc_compressor(level_);
    live_ = own_ != nullptr;
}

BgzfWriter::~BgzfWriter() {
    stopThreads();
    libdeflate_free_compressor(own_);
}

bool BgzfWriter::write(const char* data, std::size_t size) {
    if (!live_ || failed_)
        return false;
    const auto* in = reinterpret_cast<const unsigned char*>(data);
    while (size > 0) {
        Block& block = blocks_[head_];
        const std::size_t n = std::min(size, kBgzfBlockContent - block.size);
        std::memcpy(block.content.data() + block.size, in, n);
        block.size += n;
        in += n;
        size -= n;
        if (block.size == kBgzfBlockContent) {
            submit();
            if (failed_)
                return false;
        }
    }
    return true;
}

void BgzfWriter::submit() {
    if (!started_ && threads_ > 0)
        started_ = startThreads();
    Block& block = blocks_[head_];
    if (workers_.empty()) {
        block.memberSize = packBgzfBlock(own_, block.content.data(), block.size, block.member.data());
        block.size = 0;
        if (!emit(block.member.data(), block.memberSize))
            failed_ = true;
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        block.packed = false;
        queue_.push_back(&block);
    }
    queued_.notify_one();
    head_ = (head_ + 1) % blocks_.size();
    ++inFlight_;
    // What is ready goes out now; with the ring full, the writer waits for the oldest block.
    while (inFlight_ > 0 && !failed_ && writeOldest(inFlight_ == blocks_.size())) {
    }
}

bool BgzfWriter::startThreads() {
    // Only the first block was ever used: nothing is in flight, so the ring may grow.
    blocks_.resize(std::size_t(threads_) * kBlocksPerThread);
    try {
        for (unsigned i = 0; i < threads_; ++i) {
            libdeflate_compressor* compressor = libdeflate_alloc_compressor(level_);
            if (!compressor)
                break;
            compressors_.push_back(compressor);
            workers_.emplace_back(&BgzfWriter::work, this, compressor);
        }
    } catch (const std::system_error&) {
        // As many threads as could be had.
    }
    if (workers_.empty())
        blocks_.resize(1); // none at all: the writer deflates on its own
    return true;
}

void BgzfWriter::stopThreads() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    queued_.notify_all();
    for (std::thread& worker : workers_)
        worker.join();
    workers_.clear();
    for (libdeflate_compressor* compressor : compressors_)
        libdeflate_free_compressor(compressor);
    compressors_.clear();
}

void BgzfWriter::work(libdeflate_compressor* compressor) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        queued_.wait(lock, [this] { return stop_ || !queue_.empty(); });
        if (stop_)
            return;
        Block* block = queue_.front();
        queue_.pop_front();
        lock.unlock();
        block->memberSize = packBgzfBlock(compressor, block->content.data(), block->size,
                                          block->member.data());
        lock.lock();
        block->packed = true;
        packed_.notify_all();
    }
}

// Writes the oldest block in flight when it is deflated (waiting for it when `wait`); false when it
// was not written (not ready, or the sink failed).
bool BgzfWriter::writeOldest(bool wait) {
    Block& block = blocks_[tail_];
    {
        std::unique_lock<std::mutex> lock(mutex_);
        if (wait)
            packed_.wait(lock, [&block] { return block.packed; });
        else if (!block.packed)
            return false;
    }
    // No thread touches a deflated block until the writer queues it again.
    block.size = 0;
    tail_ = (tail_ + 1) % blocks_.size();
    --inFlight_;
    if (!emit(block.member.data(), block.memberSize)) {
        failed_ = true;
        return false;
    }
    return true;
}

bool BgzfWriter::emit(const unsigned char* data, std::size_t size) {
    return sink_.write(reinterpret_cast<const char*>(data), size);
}

bool BgzfWriter::finish() {
    if (!live_ || failed_)
        return false;
    if (finished_)
        return true;
    finished_ = true;
    if (blocks_[head_].size > 0)
        submit();
    while (inFlight_ > 0 && !failed_)
        writeOldest(true);
    if (!failed_ && !emit(kBgzfEof, sizeof kBgzfEof))
        failed_ = true;
    stopThreads();
    return !failed_;
}

} // namespace cmn

#include "ReadAhead.h"

#include <algorithm>
#include <cstring>

namespace cmn {

ReadAhead::ReadAhead(Producer produce, std::size_t blockSize, std::size_t blocks, Idle idle)
    : produce_(std::move(produce)), idle_(std::move(idle)), blockSize_(blockSize), ring_(new Block[blocks]), blocks_(blocks),
      thread_(&ReadAhead::run, this) {}

ReadAhead::~ReadAhead() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    freed_.notify_one();
    thread_.join();
}

void ReadAhead::run() {
    for (;;) {
        Block* block = nullptr;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            freed_.wait(lock, [this] { return stop_ || filled_ < blocks_; });
            if (stop_)
                return;
            block = &ring_[(head_ + filled_) % blocks_];
        }
        block->size = 0;
        try {
            if (!block->data)
                block->data.reset(new unsigned char[blockSize_]);
            // Whole blocks, so that the reader takes them with few hand-overs, unless filling
            // would keep the reader waiting on a slow input; a stop ends the filling early.
            while (block->size < blockSize_ && !stop_ && !(block->size > 0 && idle_ && idle_())) {
                const std::size_t got = produce_(block->data.get() + block->size, blockSize_ - block->size);
                if (got == 0) {
                    block->last = true;
                    break;
                }
                block->size += got;
            }
        } catch (...) {
            block->error = std::current_exception();
            block->last = true;
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ++filled_;
        }
        ready_.notify_one();
        if (block->last)
            return;
    }
}

std::size_t ReadAhead::read(unsigned char* dest, std::size_t size) {
    if (size == 0)
        return 0;
    for (;;) {
        if (!current_) {
            std::unique_lock<std::mutex> lock(mutex_);
            ready_.wait(lock, [this] { return filled_ > 0; });
            current_ = &ring_[head_];
            pos_ = 0;
        }
        if (pos_ < current_->size) {
            const std::size_t n = std::min(size, current_->size - pos_);
            std::memcpy(dest, current_->data.get() + pos_, n);
            pos_ += n;
            return n;
        }
        // The last block is kept: the end or the error answers every later call too.
        if (current_->error)
            std::rethrow_exception(current_->error);
        if (current_->last)
            return 0;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            head_ = (head_ + 1) % blocks_;
            --filled_;
        }
        current_ = nullptr;
        freed_.notify_one();
    }
}

} // namespace cmn

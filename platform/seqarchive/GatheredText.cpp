#include "GatheredText.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <sys/mman.h>

namespace Ovik {

GatheredText::~GatheredText() {
    for (Chunk& chunk : chunks_)
        release(chunk);
}

void GatheredText::release(Chunk& chunk) {
    if (chunk.data)
        ::munmap(chunk.data, kChunk);
    chunk.data = nullptr;
}

void GatheredText::appendChunked(const char* data, std::size_t size) {
    while (size > 0) {
        if (chunks_.empty() || chunks_.back().size == kChunk) {
            // Mapped, not allocated: the allocator may keep what it frees, the system does not.
            void* p = ::mmap(nullptr, kChunk, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (p == MAP_FAILED)
                throw std::bad_alloc();
            chunks_.push_back(Chunk{static_cast<char*>(p), 0});
        }
        Chunk& last = chunks_.back();
        const std::size_t n = std::min(size, kChunk - last.size);
        std::memcpy(last.data + last.size, data, n);
        last.size += n;
        chunked_ += n;
        data += n;
        size -= n;
    }
}

void GatheredText::finish() {
    if (chunks_.empty())
        return;
    std::string joined;
    joined.reserve(size());
    joined.append(text_);
    std::string().swap(text_);
    for (Chunk& chunk : chunks_) {
        joined.append(chunk.data, chunk.size);
        release(chunk);
    }
    chunks_.clear();
    chunked_ = 0;
    text_.swap(joined);
}

} // namespace Ovik

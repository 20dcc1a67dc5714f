#ifndef MODELFACTORY_PLATFORM_COMMON_BGZFWRITER_H
#define MODELFACTORY_PLATFORM_COMMON_BGZFWRITER_H

// gzip output as BGZF: the content cut into blocks of kBgzfBlockContent bytes, each deflated on its
// own into a gzip member whose "BC" extra field gives the member's size, then the empty end-of-file
// member. Any gzip reader reads the members as one stream; an index can seek to any of them. Each
// block being independent, blocks are deflated on a small pool of threads and written in order.

#include <contracts/Common.h>

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

struct libdeflate_compressor;

namespace cmn {

/// Content bytes a block holds at most: what bgzip puts in one, so that even content that does not
/// deflate fits a member of 64 KiB when stored.
constexpr std::size_t kBgzfBlockContent = 0xff00;
/// The largest member: BSIZE (its size less one) is a 16-bit field.
constexpr std::size_t kBgzfMaxBlock = 0x10000;
/// The empty member that ends a BGZF file.
constexpr unsigned char kBgzfEof[28] = {0x1f, 0x8b, 8, 4, 0, 0, 0, 0, 0, 0xff, 6, 0, 'B', 'C',
                                        2, 0, 0x1b, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0};

/// The libdeflate levels: 0 stores, 12 packs tightest.
constexpr int kBgzfLowestLevel = 0;
constexpr int kBgzfHighestLevel = 12;
constexpr int kBgzfDefaultLevel = 1;

/// Writes BGZF into a ReplacingFile, which only the writing thread touches. Content up to one block
/// is deflated by the writer itself (small files start no thread); past it, `threads` threads
/// deflate (none: the writer deflates everything), at most kBlocksPerThread blocks each in flight.
class BgzfWriter {
public:
    static constexpr std::size_t kBlocksPerThread = 4;

    /// `level` within kBgzfLowestLevel..kBgzfHighestLevel.
    BgzfWriter(int level, ReplacingFile& sink, unsigned threads);
    /// Stops and joins the threads, whether or not finish() was called.
    ~BgzfWriter();
    BgzfWriter(const BgzfWriter&) = delete;
    BgzfWriter& operator=(const BgzfWriter&) = delete;

    /// False when the deflater could not be had (no memory).
    bool live() const { return live_; }
    /// False once the sink failed (its error() says why) or the writer could not start.
    bool write(const char* data, std::size_t size);
    /// Writes the blocks still in flight and the end-of-file member, then joins the threads.
    bool finish();

private:
    struct Block {
        std::vector<unsigned char> content = std::vector<unsigned char>(kBgzfBlockContent);
        std::size_t size = 0;
        std::vector<unsigned char> member = std::vector<unsigned char>(kBgzfMaxBlock);
        std::size_t memberSize = 0;
        bool packed = false; // set under mutex_ by the thread that deflated it
    };

    void submit();
    bool startThreads();
    void stopThreads();
    void work(libdeflate_compressor* compressor);
    bool writeOldest(bool wait);
    bool emit(const unsigned char* data, std::size_t size);

    ReplacingFile& sink_;
    const int level_;
    const unsigned threads_;
    bool live_ = false;
    bool failed_ = false;
    bool started_ = false;
    bool finished_ = false;
    libdeflate_compressor* own_ = nullptr; // the writer's: blocks deflated without the threads
    std::vector<libdeflate_compressor*> compressors_; // one a thread

    // The ring: the writer fills blocks_[head_]; blocks_[tail_] is the oldest not yet written;
    // inFlight_ blocks lie from tail_ on, handed to the threads through queue_.
    std::vector<Block> blocks_;
    std::size_t head_ = 0;
    std::size_t tail_ = 0;
    std::size_t inFlight_ = 0;

    std::mutex mutex_;
    std::condition_variable queued_; // a block to deflate, or stop_
    std::condition_variable packed_; // a block was deflated
    std::deque<Block*> queue_;
    bool stop_ = false;
    std::vector<std::thread> workers_;
};

/// Deflates `size` bytes of `content` (at most kBgzfBlockContent) into one BGZF member at `member`
/// (room for kBgzfMaxBlock bytes); its size. Content that does not shrink is stored.
std::size_t packBgzfBlock(libdeflate_compressor* compressor, const unsigned char* content,
                          std::size_t size, unsigned char* member);

} // namespace cmn

#endif

#ifndef MODELFACTORY_PLATFORM_SEQARCHIVE_BGZF_H
#define MODELFACTORY_PLATFORM_SEQARCHIVE_BGZF_H

// BGZF: gzip members of at most 64 KiB of content, each naming its own compressed size in a "BC"
// extra field, so that a reader can start at any member. The index reads and seeks block by block.

#include <cstddef>
#include <cstdint>
#include <string>

namespace Ovik {
namespace bgzf {

/// What the first bytes of a file are, for indexing.
enum class Kind { Plain, Bgzf, OtherCompression };

/// Judges a file by its first bytes (`size` of them, at most 18 are looked at).
Kind kindOf(const unsigned char* head, std::size_t size);

/// Reads up to `size` bytes at offset `at` of `fd` into `into`, as many as the file holds there;
/// the number read. Throws SeqArchiveError naming `path` when reading fails.
std::size_t readAt(int fd, char* into, std::size_t size, std::uint64_t at, const std::string& path);

/// Reads the file's blocks front to back, or one block at a given offset.
class BlockReader {
public:
    /// `fd` stays the caller's; `path` names the file in messages.
    BlockReader(int fd, const std::string& path);
    ~BlockReader();
    BlockReader(const BlockReader&) = delete;
    BlockReader& operator=(const BlockReader&) = delete;

    /// Inflates the block that starts at compressed offset `at` into `out` (replacing it); returns
    /// the block's compressed size, 0 at the end of the file. Throws SeqArchiveError for a block
    /// that is not BGZF, corrupt or cut short.
    std::size_t read(std::uint64_t at, std::string& out);

private:
    bool fill(std::uint64_t at, std::size_t size); // buffer_ = file bytes [at, at + size)
    int fd_;
    std::string path_;
    std::string buffer_;
    std::uint64_t bufferAt_ = 0;
    struct Inflater;
    Inflater* inflater_;
};

} // namespace bgzf
} // namespace Ovik

#endif

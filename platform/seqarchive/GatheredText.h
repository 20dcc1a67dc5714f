#ifndef MODELFACTORY_PLATFORM_SEQARCHIVE_GATHEREDTEXT_H
#define MODELFACTORY_PLATFORM_SEQARCHIVE_GATHEREDTEXT_H

#include <cstddef>
#include <string>
#include <vector>

namespace Ovik {

/// Text of unknown length appended in pieces (a title, the residues of a record), costing about
/// its final size once. A string that doubles as it grows holds up to twice its size while it
/// copies; here, past a few MiB the pieces gather in chunks of pages mapped for them alone, and
/// are joined at the exact size by finish(), each chunk going back to the system as it is copied.
class GatheredText {
public:
    /// Gathers after what `text` holds; finish() leaves the whole in `text`.
    explicit GatheredText(std::string& text) : text_(text) {}
    ~GatheredText();
    GatheredText(const GatheredText&) = delete;
    GatheredText& operator=(const GatheredText&) = delete;

    void append(const char* data, std::size_t size) {
        if (chunks_.empty() && text_.size() + size <= kInString)
            text_.append(data, size);
        else
            appendChunked(data, size);
    }
    std::size_t size() const { return text_.size() + chunked_; }
    /// Whether the text went past the string (finish() then makes a new one of the exact size).
    bool chunked() const { return !chunks_.empty(); }
    /// Puts the whole text in the string given at construction.
    void finish();

    /// Text up to this size stays in the string, which grows as usual: its doubling costs little.
    static constexpr std::size_t kInString = 4u << 20;

private:
    static constexpr std::size_t kChunk = 8u << 20;

    struct Chunk {
        char* data;
        std::size_t size;
    };
    void appendChunked(const char* data, std::size_t size);
    void release(Chunk& chunk);

    std::string& text_;
    std::vector<Chunk> chunks_;
    std::size_t chunked_ = 0;
};

} // namespace Ovik

#endif

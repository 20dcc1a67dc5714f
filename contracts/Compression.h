#ifndef MODELFACTORY_CONTRACTS_COMPRESSION_H
#define MODELFACTORY_CONTRACTS_COMPRESSION_H

#include <contracts/Common.h>
#include <contracts/Export.h>

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace cmn {

/// The compressed containers every reader sees through and every writer can produce.
enum class Compression { None, Gzip, Bzip2, Xz, Zstd };

/// The compression whose magic bytes begin `head` (gzip, BGZF and multi-member gzip included);
/// None when no magic matches or `head` is too short to tell.
MF_API Compression compressionOfBytes(std::string_view head);
/// The compression a file name's last extension names (".gz", ".bz2", ".xz", ".zst", any case);
/// None for every other name.
MF_API Compression compressionOfName(std::string_view path);
/// `path` without the extension compressionOfName recognised; `path` itself when there is none.
MF_API std::string withoutCompressionExtension(const std::string& path);
/// "gzip", "bzip2", "xz", "zstd", or "" for None.
MF_API const char* compressionName(Compression compression);

/// A read failure of an InputStream: "name: reason" (a corrupt or truncated compressed stream,
/// or a failed read()).
class MF_API InputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// A file's content read in blocks, decompressed on the fly when its first bytes name a
/// compression (whatever the file is called). Memory is bounded by the decoder's state and one
/// input block, whatever the content's size; nothing is inflated beyond what read() asked for,
/// unless readAhead() was called. Several compressed streams laid end to end (multi-member gzip,
/// BGZF, concatenated bzip2, xz or zstd frames) read as one.
class MF_API InputStream {
public:
    InputStream();
    ~InputStream();
    InputStream(const InputStream&) = delete;
    InputStream& operator=(const InputStream&) = delete;
    /// The open input (descriptor, decoder, what was read ahead) changes hands.
    InputStream(InputStream&&) noexcept;
    InputStream& operator=(InputStream&&) noexcept;

    /// Opens the file at `path`. False with errno set when it cannot be opened or is not a
    /// regular file (a directory gives EISDIR; a FIFO, device or socket ENODEV, without being
    /// opened or read). The first bytes are looked at here; nothing is decoded yet.
    bool open(const std::string& path);
    /// Reads from the open descriptor `fd` (a pipe is fine), which the stream then owns and
    /// closes; `name` is the text errors begin with.
    void open(int fd, const std::string& name);

    /// Up to `size` content bytes into `dest`; 0 only at the end of the content. Throws
    /// InputError on a read error and on a corrupt or truncated compressed stream: the content
    /// is never silently cut short.
    std::size_t read(char* dest, std::size_t size);
    /// For a reader that takes the whole content in order: past its first MiB, compressed
    /// content is decompressed by a thread of the stream's own, at most 3 MiB ahead of read(), so
    /// that decompression overlaps the reader's work. Errors still reach read() where they lie
    /// in the content; destroying the stream stops and joins the thread.
    void readAhead();
    /// As read(), until `size` bytes came or the content ended.
    std::size_t readFully(char* dest, std::size_t size);

    Compression compression() const;
    const std::string& name() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

/// The whole decompressed content of the file at `path` into `text`. False when it cannot be
/// read whole: `error` is then empty when the file could not be opened (errno tells why), "not a
/// regular file" for a directory, FIFO or device (never read), or the reason the content could
/// not be read ("truncated gzip data ...", without the path).
MF_API bool readWholeFile(const std::string& path, std::string& text, std::string& error);

/// As peekFileHead, but the bytes are the file's content: a compressed file's first `maxBytes`
/// decompressed bytes (only that much is inflated). `complete` tells whether that is all of the
/// content. A corrupt or truncated stream gives what decoded before the fault, as incomplete, so
/// that the reader opened next reports the fault with the path. Answered from the thread's
/// record of the file as peekFileHead is; valid until the next call of this group on the thread.
MF_API bool peekContentHead(const std::string& path, std::size_t maxBytes, std::string_view& head,
                            bool& complete);

/// The levels a compression takes (`lowest` to `highest`) and the one used when none is asked
/// for: gzip 0-12 (libdeflate's scale: 0 stores, 1 is fastest), bzip2 1-9, xz 0-9, zstd 1-22.
/// None has none (all 0).
struct CompressionLevels {
    int lowest;
    int highest;
    int standard;
};
MF_API CompressionLevels compressionLevels(Compression compression);

/// While one lives on a thread, the compressed output opened on that thread without a level of
/// its own (OutputCompressor's default, and so every writer of a compressed file: archives, the
/// factory's save) is compressed at `level` (-1: each compression's standard level). The caller
/// checks the level against compressionLevels() of the output it is for. Scopes nest.
class MF_API CompressionLevelScope {
public:
    explicit CompressionLevelScope(int level);
    ~CompressionLevelScope();
    CompressionLevelScope(const CompressionLevelScope&) = delete;
    CompressionLevelScope& operator=(const CompressionLevelScope&) = delete;

private:
    int previous_;
};

/// Compresses what is written to it into a ReplacingFile: the file still takes the target's
/// place only on the file's commit(), after finish() wrote the stream's end.
///
/// gzip is written as BGZF: members of at most 64 KiB of content, each with the "BC" extra field
/// giving its size, and the empty member that marks the end. Every gzip reader reads it as one
/// stream, and an index (.gzi) can seek in it. Past the first block, blocks are deflated on as
/// many threads as the process has cores (a few blocks in flight each) and written in order by
/// the writing thread, the only one that touches the file; the threads are joined by finish()
/// and by the destructor, whatever happened.
class MF_API OutputCompressor {
public:
    /// `compression` must not be None. `level` -1 takes the CompressionLevelScope's level, else
    /// the compression's standard one; a level outside compressionLevels() throws
    /// std::invalid_argument.
    OutputCompressor(Compression compression, ReplacingFile& sink, int level = -1);
    ~OutputCompressor();
    OutputCompressor(const OutputCompressor&) = delete;
    OutputCompressor& operator=(const OutputCompressor&) = delete;

    /// False once the encoder or the file failed (the file's error() says why; ENOMEM for an
    /// encoder that could not start).
    bool write(const char* data, std::size_t size);
    /// Ends the compressed stream; write() must not follow (and fails if it does).
    bool finish();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

/// As replaceFileContents, compressed as the target's name says (compressionOfName).
MF_API bool replaceFileContentsByName(const std::string& path, const std::string& content, int& error);

} // namespace cmn

#endif

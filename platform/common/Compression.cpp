// Compressed files: recognising them, reading their content as a stream, writing them.
#include <contracts/Compression.h>

#include "BgzfWriter.h"
#include "ReadAhead.h"

#include <bzlib.h>
#include <isa-l/igzip_lib.h>
#include <lzma.h>
#include <zlib.h>
#include <zstd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

namespace cmn {

namespace {

constexpr std::size_t kInputBlock = 128 * 1024;
// Read-ahead: content up to one block is inflated by the reader itself (a small file never
// starts a thread); past it, a thread inflates into a ring of these blocks. Measured on 1M reads:
// 2 or 3 x 1 MiB are the fastest; smaller blocks cost more hand-overs, larger ones more cache
// misses, and the third block absorbs the scheduler's delays.
constexpr std::size_t kAheadBlock = 1u << 20;
constexpr std::size_t kAheadBlocks = 3;
// How long a read-ahead thread waits on a pipe before it looks whether it is still wanted.
constexpr int kPipePollMs = 100;
// The dictionary an xz stream may ask for: xz -9 needs 64 MiB; a crafted header asking for
// more is refused instead of being allocated.
constexpr std::uint64_t kXzMemoryLimit = 256u << 20;

bool extensionIs(std::string_view path, const char* ext) {
    const std::size_t n = std::strlen(ext);
    if (path.size() <= n || path[path.size() - n - 1] != '.')
        return false;
    return strncasecmp(path.data() + path.size() - n, ext, n) == 0;
}

// One decoder per compression. step() decodes what it can from `in` into `out`, advancing both,
// and returns true when the current stream (member, frame) ended; it throws the reason on
// corrupt data. restart() prepares for a following stream.
struct Decoder {
    virtual ~Decoder() = default;
    virtual bool step(const unsigned char*& in, std::size_t& inLeft, unsigned char*& out,
                      std::size_t& outLeft) = 0;
    virtual void restart() = 0;
};

// gzip through ISA-L's igzip: the fastest streaming inflater Debian offers (bench/InflateBench).
struct GzipDecoder : Decoder {
    inflate_state state;
    GzipDecoder() { restart(); }
    void restart() override {
        isal_inflate_init(&state);
        state.crc_flag = ISAL_GZIP; // header parsed, CRC and length of the trailer checked
    }
    bool step(const unsigned char*& in, std::size_t& inLeft, unsigned char*& out,
              std::size_t& outLeft) override {
        state.next_in = const_cast<unsigned char*>(in);
        state.avail_in = static_cast<uint32_t>(std::min<std::size_t>(inLeft, UINT32_MAX));
        state.next_out = out;
        state.avail_out = static_cast<uint32_t>(std::min<std::size_t>(outLeft, UINT32_MAX));
        const int result = isal_inflate(&state);
        const std::size_t used = static_cast<std::size_t>(state.next_in - in);
        const std::size_t made = static_cast<std::size_t>(state.next_out - out);
        in += used;
        inLeft -= used;
        out += made;
        outLeft -= made;
        switch (result) {
        case ISAL_DECOMP_OK:
        case ISAL_END_INPUT:
        case ISAL_OUT_OVERFLOW: break;
        case ISAL_INCORRECT_CHECKSUM: throw std::string("corrupt gzip data (checksum mismatch)");
        case ISAL_INVALID_WRAPPER:
        case ISAL_UNSUPPORTED_METHOD: throw std::string("corrupt gzip data (bad header)");
        default: throw std::string("corrupt gzip data");
        }
        return state.block_state == ISAL_BLOCK_FINISH;
    }
};

struct Bzip2Decoder : Decoder {
    bz_stream stream;
    bool live = false;
    Bzip2Decoder() { restart(); }
    ~Bzip2Decoder() override {
        if (live)
            BZ2_bzDecompressEnd(&stream);
    }
    void restart() override {
        if (live)
            BZ2_bzDecompressEnd(&stream);
        std::memset(&stream, 0, sizeof stream);
        live = BZ2_bzDecompressInit(&stream, 0, 0) == BZ_OK;
        if (!live)
            throw std::string("cannot start the bzip2 decoder");
    }
    bool step(const unsigned char*& in, std::size_t& inLeft, unsigned char*& out,
              std::size_t& outLeft) override {
        stream.next_in = const_cast<char*>(reinterpret_cast<const char*>(in));
        stream.avail_in = static_cast<unsigned>(std::min<std::size_t>(inLeft, UINT32_MAX));
        stream.next_out = reinterpret_cast<char*>(out);
        stream.avail_out = static_cast<unsigned>(std::min<std::size_t>(outLeft, UINT32_MAX));
        const int result = BZ2_bzDecompress(&stream);
        const std::size_t used = static_cast<std::size_t>(reinterpret_cast<const unsigned char*>(stream.next_in) - in);
        const std::size_t made = static_cast<std::size_t>(reinterpret_cast<unsigned char*>(stream.next_out) - out);
        in += used;
        inLeft -= used;
        out += made;
        outLeft -= made;
        if (result == BZ_STREAM_END)
            return true;
        if (result != BZ_OK)
            throw std::string("corrupt bzip2 data");
        return false;
    }
};

struct XzDecoder : Decoder {
    lzma_stream stream = LZMA_STREAM_INIT;
    XzDecoder() { restart(); }
    ~XzDecoder() override { lzma_end(&stream); }
    void restart() override {
        lzma_end(&stream);
        stream = LZMA_STREAM_INIT;
        if (lzma_stream_decoder(&stream, kXzMemoryLimit, 0) != LZMA_OK)
            throw std::string("cannot start the xz decoder");
    }
    bool step(const unsigned char*& in, std::size_t& inLeft, unsigned char*& out,
              std::size_t& outLeft) override {
        stream.next_in = in;
        stream.avail_in = inLeft;
        stream.next_out = out;
        stream.avail_out = outLeft;
        const lzma_ret result = lzma_code(&stream, LZMA_RUN);
        const std::size_t used = static_cast<std::size_t>(stream.next_in - in);
        const std::size_t made = static_cast<std::size_t>(stream.next_out - out);
        in += used;
        inLeft -= used;
        out += made;
        outLeft -= made;
        switch (result) {
        case LZMA_OK: return false;
        case LZMA_STREAM_END: return true;
        case LZMA_MEMLIMIT_ERROR: throw std::string("the xz stream needs more memory than allowed");
        case LZMA_MEM_ERROR: throw std::string("out of memory in the xz decoder");
        default: throw std::string("corrupt xz data");
        }
    }
};

struct ZstdDecoder : Decoder {
    ZSTD_DStream* stream = ZSTD_createDStream();
    ZstdDecoder() {
        if (!stream)
            throw std::string("cannot start the zstd decoder");
    }
    ~ZstdDecoder() override { ZSTD_freeDStream(stream); }
    void restart() override { ZSTD_DCtx_reset(stream, ZSTD_reset_session_only); }
    bool step(const unsigned char*& in, std::size_t& inLeft, unsigned char*& out,
              std::size_t& outLeft) override {
        ZSTD_inBuffer input{in, inLeft, 0};
        ZSTD_outBuffer output{out, outLeft, 0};
        const std::size_t result = ZSTD_decompressStream(stream, &output, &input);
        in += input.pos;
        inLeft -= input.pos;
        out += output.pos;
        outLeft -= output.pos;
        if (ZSTD_isError(result))
            throw std::string("corrupt zstd data (") + ZSTD_getErrorName(result) + ")";
        return result == 0; // a frame was decoded and flushed whole
    }
};

std::unique_ptr<Decoder> makeDecoder(Compression compression) {
    switch (compression) {
    case Compression::Gzip: return std::unique_ptr<Decoder>(new GzipDecoder);
    case Compression::Bzip2: return std::unique_ptr<Decoder>(new Bzip2Decoder);
    case Compression::Xz: return std::unique_ptr<Decoder>(new XzDecoder);
    case Compression::Zstd: return std::unique_ptr<Decoder>(new ZstdDecoder);
    case Compression::None: break;
    }
    return nullptr;
}

} // namespace

Compression compressionOfBytes(std::string_view head) {
    auto begins = [&head](const char* magic, std::size_t n) {
        return head.size() >= n && std::memcmp(head.data(), magic, n) == 0;
    };
    if (begins("\x1f\x8b", 2))
        return Compression::Gzip;
    // "BZh" and a block size digit.
    if (begins("BZh", 3) && head.size() >= 4 && head[3] >= '1' && head[3] <= '9')
        return Compression::Bzip2;
    if (begins("\xfd" "7zXZ\0", 6))
        return Compression::Xz;
    if (begins("\x28\xb5\x2f\xfd", 4))
        return Compression::Zstd;
    return Compression::None;
}

Compression compressionOfName(std::string_view path) {
    if (extensionIs(path, "gz"))
        return Compression::Gzip;
    if (extensionIs(path, "bz2"))
        return Compression::Bzip2;
    if (extensionIs(path, "xz"))
        return Compression::Xz;
    if (extensionIs(path, "zst"))
        return Compression::Zstd;
    return Compression::None;
}

std::string withoutCompressionExtension(const std::string& path) {
    if (compressionOfName(path) == Compression::None)
        return path;
    return path.substr(0, path.rfind('.'));
}

const char* compressionName(Compression compression) {
    switch (compression) {
    case Compression::Gzip: return "gzip";
    case Compression::Bzip2: return "bzip2";
    case Compression::Xz: return "xz";
    case Compression::Zstd: return "zstd";
    case Compression::None: break;
    }
    return "";
}

// ---- reading ------------------------------------------------------------------------------------

unsigned usableCores() {
    cpu_set_t set;
    if (::sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return static_cast<unsigned>(CPU_COUNT(&set));
    const unsigned cores = std::thread::hardware_concurrency();
    return cores > 0 ? cores : 1;
}

namespace {

// Thrown inside a read-ahead thread that is no longer wanted while it waits on a pipe.
struct ReadAheadStopped {};

} // namespace

struct InputStream::Impl {
    std::string name;
    int fd = -1;
    bool regular = true; // a regular file: a read never waits for a writer
    Compression compression = Compression::None;
    std::unique_ptr<Decoder> decoder;
    std::vector<unsigned char> input; // compressed bytes read ahead (also the sniffed magic)
    std::size_t inPos = 0, inEnd = 0;
    bool eof = false;      // the descriptor has no more bytes
    bool inStream = false; // a compressed stream began and has not ended
    bool decoderUsed = false;
    // Read-ahead, when asked for: the content inflated by the reader so far, then the thread
    // that inflates from there on (it alone touches fd, decoder and input once it runs).
    bool aheadWanted = false;
    std::size_t decoded = 0;
    bool pollPipe = false;              // set before the thread starts: it polls a pipe
    std::atomic<bool> aheadUnwanted{false}; // the reader is going: a thread polling a pipe gives up
    std::unique_ptr<ReadAhead> ahead;

    ~Impl() {
        aheadUnwanted = true;
        ahead.reset(); // joins the thread before what it reads from goes
        if (fd >= 0)
            ::close(fd);
    }

    [[noreturn]] void fail(const std::string& reason) const { throw InputError(name + ": " + reason); }

    // Reads from the descriptor into `dest`; 0 at its end.
    std::size_t readRaw(unsigned char* dest, std::size_t size) {
        for (;;) {
            if (pollPipe)
                awaitInput();
            const ssize_t got = ::read(fd, dest, size);
            if (got >= 0)
                return static_cast<std::size_t>(got);
            if (errno != EINTR)
                fail(std::string("read error: ") + std::strerror(errno));
        }
    }

    // On the read-ahead thread: waits until the pipe has bytes (or its end), giving up when the
    // reader is gone, so that destroying a reader never waits for a writer that is idle.
    void awaitInput() {
        pollfd p{fd, POLLIN, 0};
        for (;;) {
            const int ready = ::poll(&p, 1, kPipePollMs);
            if (ready > 0 || (ready < 0 && errno != EINTR))
                return; // bytes, the end, or an error read() reports
            if (aheadUnwanted)
                throw ReadAheadStopped();
        }
    }

    // True when decoding on needs bytes a pipe does not hold yet.
    bool inputWouldWait() {
        if (inPos < inEnd || eof)
            return false;
        pollfd p{fd, POLLIN, 0};
        return ::poll(&p, 1, 0) == 0;
    }

    bool fillInput() {
        if (eof)
            return false;
        if (input.size() < kInputBlock)
            input.resize(kInputBlock);
        inPos = 0;
        inEnd = readRaw(input.data(), input.size());
        eof = inEnd == 0;
        return !eof;
    }

    // The first bytes decide the compression; they stay in `input` for the decoder (or the
    // reader of a plain file).
    void sniff() {
        struct stat info;
        regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
        input.resize(kInputBlock);
        while (inEnd < 6 && !eof) {
            const std::size_t got = readRaw(input.data() + inEnd, 6 - inEnd);
            eof = got == 0;
            inEnd += got;
        }
        compression = compressionOfBytes(
            std::string_view(reinterpret_cast<const char*>(input.data()), inEnd));
        if (compression != Compression::None) {
            try {
                decoder = makeDecoder(compression);
            } catch (const std::string& reason) {
                fail(reason);
            }
        }
    }

    std::size_t read(unsigned char* dest, std::size_t size) {
        if (ahead)
            return ahead->read(dest, size);
        if (aheadWanted && decoder && decoded >= kAheadBlock)
            startReadAhead();
        if (ahead)
            return ahead->read(dest, size);
        const std::size_t got = decode(dest, size);
        decoded += got;
        return got;
    }

    void startReadAhead() {
        aheadWanted = false;
        static const bool spareCore = usableCores() > 1;
        if (!spareCore)
            return;
        pollPipe = !regular;
        try {
            ReadAhead::Idle idle;
            if (!regular)
                idle = [this] { return inputWouldWait(); };
            ahead.reset(new ReadAhead([this](unsigned char* dest, std::size_t size) { return decode(dest, size); },
                                      kAheadBlock, kAheadBlocks, std::move(idle)));
        } catch (const std::system_error&) {
            // No thread to be had: the reader inflates on its own, as for a small file.
            pollPipe = false;
        }
    }

    std::size_t decode(unsigned char* dest, std::size_t size) {
        if (size == 0)
            return 0;
        if (!decoder) {
            if (inPos < inEnd) {
                const std::size_t n = std::min(size, inEnd - inPos);
                std::memcpy(dest, input.data() + inPos, n);
                inPos += n;
                return n;
            }
            return eof ? 0 : readRaw(dest, size);
        }
        unsigned char* out = dest;
        std::size_t outLeft = size;
        while (outLeft == size) {
            if (inPos == inEnd && !fillInput()) {
                if (inStream)
                    fail(std::string("truncated ") + compressionName(compression) +
                         " data (the file ends inside the compressed stream)");
                return 0;
            }
            if (!inStream) {
                // A stream follows the last one (multi-member gzip, concatenated frames).
                if (decoderUsed)
                    restartDecoder();
                inStream = true;
            }
            const unsigned char* in = input.data() + inPos;
            std::size_t inLeft = inEnd - inPos;
            bool ended = false;
            try {
                ended = decoder->step(in, inLeft, out, outLeft);
            } catch (const std::string& reason) {
                fail(reason);
            }
            decoderUsed = true;
            inPos = inEnd - inLeft;
            if (ended)
                inStream = false;
            if (ended && outLeft != size)
                break; // let the caller have what this stream gave before the next one starts
        }
        return size - outLeft;
    }

    void restartDecoder() {
        try {
            decoder->restart();
        } catch (const std::string& reason) {
            fail(reason);
        }
    }
};

InputStream::InputStream() : impl_(new Impl) {}
InputStream::~InputStream() = default;
InputStream::InputStream(InputStream&&) noexcept = default;
InputStream& InputStream::operator=(InputStream&&) noexcept = default;

bool InputStream::open(const std::string& path) {
    // A path names a file: a FIFO or device is refused unread (a stream is opened by descriptor).
    int error = 0;
    const int fd = openRegularFile(path, error);
    if (fd < 0) {
        errno = error == NotRegularFile ? ENODEV : error;
        return false;
    }
    open(fd, path);
    return true;
}

void InputStream::open(int fd, const std::string& name) {
    impl_.reset(new Impl);
    impl_->name = name;
    impl_->fd = fd;
    impl_->sniff();
}

std::size_t InputStream::read(char* dest, std::size_t size) {
    return impl_->read(reinterpret_cast<unsigned char*>(dest), size);
}

void InputStream::readAhead() { impl_->aheadWanted = true; }

std::size_t InputStream::readFully(char* dest, std::size_t size) {
    std::size_t total = 0;
    while (total < size) {
        const std::size_t got = read(dest + total, size - total);
        if (got == 0)
            break;
        total += got;
    }
    return total;
}

Compression InputStream::compression() const { return impl_->compression; }
const std::string& InputStream::name() const { return impl_->name; }

bool readWholeFile(const std::string& path, std::string& text, std::string& error) {
    InputStream in;
    error.clear();
    int openError = 0;
    const int fd = openRegularFile(path, openError);
    if (fd < 0) {
        if (openError == NotRegularFile || openError == EISDIR)
            error = openErrorText(NotRegularFile);
        errno = openError == NotRegularFile ? ENODEV : openError;
        return false;
    }
    in.open(fd, path);
    text.clear();
    try {
        std::size_t size = 0;
        for (;;) {
            if (text.size() - size < kInputBlock)
                text.resize(size + std::max(size, kInputBlock));
            const std::size_t got = in.read(&text[size], text.size() - size);
            if (got == 0)
                break;
            size += got;
        }
        text.resize(size);
    } catch (const InputError& failure) {
        const std::string text = failure.what();
        error = text.substr(std::min(text.size(), path.size() + 2)); // the reason alone
        return false;
    }
    return true;
}

// ---- writing ------------------------------------------------------------------------------------

namespace {

// One encoder per compression: encode() compresses `data` (all of it) and, when `last`, ends
// the stream, handing what it produced to `sink`.
struct Encoder {
    virtual ~Encoder() = default;
    virtual bool live() const = 0;
    virtual bool encode(const char* data, std::size_t size, bool last, ReplacingFile& sink) = 0;
};

constexpr std::size_t kOutputBlock = 128 * 1024;

// The streaming encoders hand their output over a block at a time.
struct StreamEncoder : Encoder {
    // On the heap: writers may run on threads with small stacks.
    std::vector<unsigned char> buffer = std::vector<unsigned char>(kOutputBlock);
    unsigned char* block() { return buffer.data(); }
    char* chars() { return reinterpret_cast<char*>(buffer.data()); }
};

// gzip as BGZF, deflated on as many threads as the process has cores (none with one core: the
// writer's own thread would only take turns with them).
struct GzipEncoder : Encoder {
    BgzfWriter writer;
    GzipEncoder(int level, ReplacingFile& sink)
        : writer(level, sink, usableCores() > 1 ? usableCores() : 0) {}
    bool live() const override { return writer.live(); }
    bool encode(const char* data, std::size_t size, bool last, ReplacingFile&) override {
        return last ? writer.finish() : writer.write(data, size);
    }
};

struct Bzip2Encoder : StreamEncoder {
    bz_stream stream{};
    bool started;
    explicit Bzip2Encoder(int level) : started(BZ2_bzCompressInit(&stream, level, 0, 0) == BZ_OK) {}
    ~Bzip2Encoder() override {
        if (started)
            BZ2_bzCompressEnd(&stream);
    }
    bool live() const override { return started; }
    bool encode(const char* data, std::size_t size, bool last, ReplacingFile& sink) override {
        stream.next_in = const_cast<char*>(data);
        stream.avail_in = static_cast<unsigned>(size);
        for (;;) {
            stream.next_out = chars();
            stream.avail_out = kOutputBlock;
            const int result = BZ2_bzCompress(&stream, last ? BZ_FINISH : BZ_RUN);
            if (result < 0)
                return false;
            if (!sink.write(chars(), kOutputBlock - stream.avail_out))
                return false;
            if (last ? result == BZ_STREAM_END : stream.avail_in == 0)
                return true;
        }
    }
};

struct XzEncoder : StreamEncoder {
    lzma_stream stream = LZMA_STREAM_INIT;
    bool started;
    explicit XzEncoder(int level)
        : started(lzma_easy_encoder(&stream, static_cast<uint32_t>(level), LZMA_CHECK_CRC64) == LZMA_OK) {}
    ~XzEncoder() override { lzma_end(&stream); }
    bool live() const override { return started; }
    bool encode(const char* data, std::size_t size, bool last, ReplacingFile& sink) override {
        stream.next_in = reinterpret_cast<const uint8_t*>(data);
        stream.avail_in = size;
        for (;;) {
            stream.next_out = block();
            stream.avail_out = kOutputBlock;
            const lzma_ret result = lzma_code(&stream, last ? LZMA_FINISH : LZMA_RUN);
            if (result != LZMA_OK && result != LZMA_STREAM_END)
                return false;
            if (!sink.write(chars(), kOutputBlock - stream.avail_out))
                return false;
            if (last ? result == LZMA_STREAM_END : (stream.avail_in == 0 && stream.avail_out != 0))
                return true;
        }
    }
};

struct ZstdEncoder : StreamEncoder {
    ZSTD_CCtx* context = ZSTD_createCCtx();
    bool started;
    explicit ZstdEncoder(int level)
        : started(context && !ZSTD_isError(ZSTD_CCtx_setParameter(context, ZSTD_c_compressionLevel, level))) {}
    ~ZstdEncoder() override { ZSTD_freeCCtx(context); }
    bool live() const override { return started; }
    bool encode(const char* data, std::size_t size, bool last, ReplacingFile& sink) override {
        ZSTD_inBuffer input{data, size, 0};
        for (;;) {
            ZSTD_outBuffer output{block(), kOutputBlock, 0};
            const std::size_t left =
                ZSTD_compressStream2(context, &output, &input, last ? ZSTD_e_end : ZSTD_e_continue);
            if (ZSTD_isError(left))
                return false;
            if (!sink.write(chars(), output.pos))
                return false;
            if (last ? left == 0 : input.pos == input.size)
                return true;
        }
    }
};

// The level of CompressionLevelScope on this thread; -1 without one.
thread_local int scopeLevel = -1;

} // namespace

CompressionLevels compressionLevels(Compression compression) {
    switch (compression) {
    case Compression::Gzip: return {kBgzfLowestLevel, kBgzfHighestLevel, kBgzfDefaultLevel};
    case Compression::Bzip2: return {1, 9, 9};
    case Compression::Xz: return {0, 9, 6};
    case Compression::Zstd: return {1, ZSTD_maxCLevel(), ZSTD_CLEVEL_DEFAULT};
    case Compression::None: break;
    }
    return {0, 0, 0};
}

CompressionLevelScope::CompressionLevelScope(int level) : previous_(scopeLevel) { scopeLevel = level; }
CompressionLevelScope::~CompressionLevelScope() { scopeLevel = previous_; }

struct OutputCompressor::Impl {
    ReplacingFile& sink;
    std::unique_ptr<Encoder> encoder;
    bool failed = false;
    bool finished = false;
    explicit Impl(ReplacingFile& file) : sink(file) {}
};

OutputCompressor::OutputCompressor(Compression compression, ReplacingFile& sink, int level)
    : impl_(new Impl(sink)) {
    const CompressionLevels levels = compressionLevels(compression);
    if (level < 0)
        level = scopeLevel;
    if (level < 0)
        level = levels.standard;
    if (compression != Compression::None && (level < levels.lowest || level > levels.highest))
        throw std::invalid_argument(std::string("compression level ") + std::to_string(level) +
                                    " is outside " + compressionName(compression) + "'s " +
                                    std::to_string(levels.lowest) + "-" + std::to_string(levels.highest));
    switch (compression) {
    case Compression::Gzip: impl_->encoder.reset(new GzipEncoder(level, sink)); break;
    case Compression::Bzip2: impl_->encoder.reset(new Bzip2Encoder(level)); break;
    case Compression::Xz: impl_->encoder.reset(new XzEncoder(level)); break;
    case Compression::Zstd: impl_->encoder.reset(new ZstdEncoder(level)); break;
    case Compression::None: break;
    }
    impl_->failed = !impl_->encoder || !impl_->encoder->live();
}

OutputCompressor::~OutputCompressor() = default;

bool OutputCompressor::write(const char* data, std::size_t size) {
    if (impl_->failed || impl_->finished || !impl_->sink.ok())
        return false;
    if (size == 0)
        return true;
    // The encoders take at most 4 GiB a call (their counters are 32-bit).
    for (std::size_t done = 0; done < size;) {
        const std::size_t piece = std::min<std::size_t>(size - done, 1u << 30);
        if (!impl_->encoder->encode(data + done, piece, false, impl_->sink)) {
            impl_->failed = true;
            return false;
        }
        done += piece;
    }
    return true;
}

bool OutputCompressor::finish() {
    if (impl_->failed || !impl_->sink.ok())
        return false;
    if (impl_->finished)
        return true;
    impl_->finished = true;
    if (!impl_->encoder->encode(nullptr, 0, true, impl_->sink))
        impl_->failed = true;
    return !impl_->failed;
}

bool replaceFileContentsByName(const std::string& path, const std::string& content, int& error) {
    const Compression compression = compressionOfName(path);
    if (compression == Compression::None)
        return replaceFileContents(path, content, error);
    ReplacingFile file(path);
    OutputCompressor packer(compression, file);
    const bool packed = packer.write(content.data(), content.size()) && packer.finish();
    const bool done = packed && file.commit();
    error = file.error() != 0 ? file.error() : (done ? 0 : ENOMEM);
    return done;
}

} // namespace cmn

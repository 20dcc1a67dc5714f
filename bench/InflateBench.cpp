// Inflating one gzip file with each gzip library Debian offers, to choose the one the readers use:
//   mf_bench_inflate isal|zlib|libdeflate FILE.gz
// prints "seconds=... bytes=..." (bytes: the decompressed size). ISA-L and zlib stream through a
// 128 KiB input block, as the readers do; libdeflate cannot stream and inflates the whole file
// held in memory, which is its best case and still not an option for the readers.
#include <isa-l/igzip_lib.h>
#include <libdeflate.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kBlock = 128 * 1024;

// Streams `file` through `step` (which consumes input and produces output) until the input ends.
template <class Step>
bool streamFile(const char* file, std::size_t& produced, Step step) {
    std::FILE* in = std::fopen(file, "rb");
    if (!in)
        return false;
    std::vector<unsigned char> input(kBlock), output(kBlock);
    bool ok = true;
    for (std::size_t got; ok && (got = std::fread(input.data(), 1, input.size(), in)) > 0;)
        ok = step(input.data(), got, output, produced);
    std::fclose(in);
    return ok;
}

bool inflateIsal(const char* file, std::size_t& produced) {
    inflate_state state;
    isal_inflate_init(&state);
    state.crc_flag = ISAL_GZIP;
    return streamFile(file, produced, [&state](unsigned char* in, std::size_t size,
                                               std::vector<unsigned char>& out, std::size_t& made) {
        state.next_in = in;
        state.avail_in = static_cast<uint32_t>(size);
        while (state.avail_in > 0) {
            if (state.block_state == ISAL_BLOCK_FINISH) { // the next member
                isal_inflate_reset(&state);
                state.crc_flag = ISAL_GZIP;
            }
            state.next_out = out.data();
            state.avail_out = static_cast<uint32_t>(out.size());
            if (isal_inflate(&state) < 0)
                return false;
            made += out.size() - state.avail_out;
        }
        return true;
    });
}

bool inflateZlib(const char* file, std::size_t& produced) {
    z_stream stream{};
    if (inflateInit2(&stream, 15 + 16) != Z_OK)
        return false;
    const bool ok = streamFile(file, produced, [&stream](unsigned char* in, std::size_t size,
                                                         std::vector<unsigned char>& out, std::size_t& made) {
        stream.next_in = in;
        stream.avail_in = static_cast<uInt>(size);
        while (stream.avail_in > 0) {
            stream.next_out = out.data();
            stream.avail_out = static_cast<uInt>(out.size());
            const int result = inflate(&stream, Z_NO_FLUSH);
            if (result == Z_STREAM_END)
                inflateReset(&stream); // the next member
            else if (result != Z_OK && result != Z_BUF_ERROR)
                return false;
            made += out.size() - stream.avail_out;
        }
        return true;
    });
    inflateEnd(&stream);
    return ok;
}

bool inflateLibdeflate(const char* file, std::size_t& produced) {
    std::FILE* in = std::fopen(file, "rb");
    if (!in)
        return false;
    std::fseek(in, 0, SEEK_END);
    const std::size_t size = static_cast<std::size_t>(std::ftell(in));
    std::fseek(in, 0, SEEK_SET);
    // Buffers left uninitialised, as a reader would hold them.
    std::unique_ptr<char[]> packed(new char[size]);
    const bool read = std::fread(packed.get(), 1, size, in) == size;
    std::fclose(in);
    if (!read)
        return false;
    std::size_t capacity = size * 4 + kBlock;
    std::unique_ptr<char[]> out(new char[capacity]);
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    std::size_t at = 0;
    bool ok = true;
    while (ok && at < size) {
        std::size_t used = 0, made = 0;
        const libdeflate_result r = libdeflate_gzip_decompress_ex(d, packed.get() + at, size - at,
                                                                  out.get() + produced,
                                                                  capacity - produced, &used, &made);
        if (r == LIBDEFLATE_INSUFFICIENT_SPACE) {
            std::unique_ptr<char[]> bigger(new char[capacity * 2]);
            std::memcpy(bigger.get(), out.get(), produced);
            out.swap(bigger);
            capacity *= 2;
            continue;
        }
        ok = r == LIBDEFLATE_SUCCESS;
        at += used;
        produced += made;
    }
    libdeflate_free_decompressor(d);
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: mf_bench_inflate isal|zlib|libdeflate FILE.gz\n");
        return 2;
    }
    const std::string library = argv[1];
    bool (*inflater)(const char*, std::size_t&) = library == "isal"         ? inflateIsal
                                                  : library == "zlib"       ? inflateZlib
                                                  : library == "libdeflate" ? inflateLibdeflate
                                                                            : nullptr;
    if (!inflater) {
        std::fprintf(stderr, "mf_bench_inflate: unknown library %s\n", argv[1]);
        return 2;
    }
    std::size_t produced = 0;
    const auto start = std::chrono::steady_clock::now();
    const bool ok = inflater(argv[2], produced);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("seconds=%.6f bytes=%zu\n", seconds, produced);
    return ok ? 0 : 1;
}

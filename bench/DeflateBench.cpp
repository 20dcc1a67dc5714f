// Deflating one file in BGZF-sized blocks with each deflate library Debian offers, to choose the
// one gzip output uses:
//   mf_bench_deflate zlib|isal|libdeflate LEVEL FILE
// prints "seconds=... bytes=..." (bytes: the deflated size, each block's 26 bytes of gzip header
// and trailer included). One thread, the whole file read into memory first, so that the figure is
// the library's alone; seconds are CPU seconds of the thread (a busy machine's other work stays
// out). ISA-L takes levels 0-3, zlib 1-9, libdeflate 0-12.
#include <isa-l/igzip_lib.h>
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kBlockContent = 0xff00; // as gzip output's BGZF blocks
constexpr std::size_t kMemberFrame = 26;

double threadSeconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

bool readAll(const char* path, std::string& data) {
    std::FILE* in = std::fopen(path, "rb");
    if (!in)
        return false;
    char buffer[1 << 16];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, in)) > 0;)
        data.append(buffer, got);
    const bool ok = !std::ferror(in);
    std::fclose(in);
    return ok;
}

// Deflates one block into `out`; its size, 0 on failure.
using Deflate = std::function<std::size_t(const unsigned char*, std::size_t, std::vector<unsigned char>&)>;

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s zlib|isal|libdeflate LEVEL FILE\n", argv[0]);
        return 2;
    }
    const std::string library = argv[1];
    const int level = std::atoi(argv[2]);
    std::string data;
    if (!readAll(argv[3], data)) {
        std::fprintf(stderr, "cannot read %s\n", argv[3]);
        return 1;
    }

    z_stream zs{};
    std::vector<unsigned char> isalLevel;
    isal_zstream is{};
    libdeflate_compressor* ld = nullptr;
    Deflate deflateBlock;
    if (library == "zlib" && deflateInit2(&zs, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) == Z_OK) {
        deflateBlock = [&zs](const unsigned char* in, std::size_t size, std::vector<unsigned char>& out) {
            deflateReset(&zs);
            zs.next_in = const_cast<unsigned char*>(in);
            zs.avail_in = static_cast<uInt>(size);
            zs.next_out = out.data();
            zs.avail_out = static_cast<uInt>(out.size());
            return deflate(&zs, Z_FINISH) == Z_STREAM_END ? out.size() - zs.avail_out : 0;
        };
    } else if (library == "isal" && level >= 0 && level <= 3) {
        const std::size_t sizes[] = {ISAL_DEF_LVL0_DEFAULT, ISAL_DEF_LVL1_DEFAULT, ISAL_DEF_LVL2_DEFAULT,
                                     ISAL_DEF_LVL3_DEFAULT};
        isalLevel.resize(sizes[level]);
        deflateBlock = [&is, &isalLevel, level](const unsigned char* in, std::size_t size,
                                                std::vector<unsigned char>& out) -> std::size_t {
            isal_deflate_stateless_init(&is);
            is.level = static_cast<uint32_t>(level);
            is.level_buf = isalLevel.data();
            is.level_buf_size = static_cast<uint32_t>(isalLevel.size());
            is.next_in = const_cast<unsigned char*>(in);
            is.avail_in = static_cast<uint32_t>(size);
            is.next_out = out.data();
            is.avail_out = static_cast<uint32_t>(out.size());
            is.end_of_stream = 1;
            return isal_deflate_stateless(&is) == COMP_OK ? out.size() - is.avail_out : 0;
        };
    } else if (library == "libdeflate" && (ld = libdeflate_alloc_compressor(level)) != nullptr) {
        deflateBlock = [ld](const unsigned char* in, std::size_t size, std::vector<unsigned char>& out) {
            return libdeflate_deflate_compress(ld, in, size, out.data(), out.size());
        };
    } else {
        std::fprintf(stderr, "unknown library or level: %s %d\n", library.c_str(), level);
        return 2;
    }

    std::vector<unsigned char> out(2 * kBlockContent);
    std::size_t total = 0;
    const double start = threadSeconds();
    for (std::size_t at = 0; at < data.size(); at += kBlockContent) {
        const auto* in = reinterpret_cast<const unsigned char*>(data.data()) + at;
        const std::size_t size = std::min(kBlockContent, data.size() - at);
        const std::size_t made = deflateBlock(in, size, out);
        if (made == 0) {
            std::fprintf(stderr, "%s failed at offset %zu\n", library.c_str(), at);
            return 1;
        }
        total += made + kMemberFrame;
    }
    const double seconds = threadSeconds() - start;
    if (library == "zlib")
        deflateEnd(&zs);
    libdeflate_free_compressor(ld);
    std::printf("seconds=%f bytes=%zu\n", seconds, total);
    return 0;
}

#include "TraceWriter.h"

#include <io_lib/Read.h>
#include <zlib.h>

#include <cstring>
#include <stdexcept>
#include <vector>

namespace mftest {

void writeTrace(const std::string& path, TraceKind kind, const TraceSample& sample) {
    Read* read = read_allocate(static_cast<int>(sample.points), static_cast<int>(sample.bases.size()));
    if (!read)
        throw std::runtime_error("read_allocate failed");
    unsigned short* channels[4] = {read->traceA, read->traceC, read->traceG, read->traceT};
    for (unsigned i = 0; i < sample.points; ++i)
        for (int c = 0; c < 4; ++c)
            channels[c][i] = static_cast<unsigned short>((i * (c + 1)) % 50);
    const char* order = "ACGT";
    for (std::size_t b = 0; b < sample.bases.size(); ++b) {
        read->base[b] = sample.bases[b];
        const unsigned pos = static_cast<unsigned>(5 + 10 * b) % sample.points;
        read->basePos[b] = static_cast<unsigned short>(pos);
        const char* hit = std::strchr(order, sample.bases[b]);
        if (hit && *hit)
            channels[hit - order][pos] = 1000;
        read->prob_A[b] = sample.bases[b] == 'A' ? 40 : 2;
        read->prob_C[b] = sample.bases[b] == 'C' ? 35 : 2;
        read->prob_G[b] = sample.bases[b] == 'G' ? 30 : 2;
        read->prob_T[b] = sample.bases[b] == 'T' ? 25 : 2;
    }
    read->maxTraceVal = 1000;
    read->leftCutoff = sample.leftCutoff;
    read->rightCutoff = sample.rightCutoff;
    std::vector<char> ident(sample.ident.begin(), sample.ident.end());
    ident.push_back('\0');
    if (!sample.ident.empty())
        read->ident = strdup(ident.data());
    std::vector<char> name(path.begin(), path.end());
    name.push_back('\0');
    const int rc = write_reading(name.data(), read, static_cast<int>(kind));
    read_deallocate(read);
    if (rc != 0)
        throw std::runtime_error("io_lib could not write " + path);
}

std::string gzipped(const std::string& bytes, unsigned members) {
    std::string out;
    const std::size_t step = members ? (bytes.size() + members - 1) / members : bytes.size();
    for (std::size_t at = 0; at < bytes.size() || out.empty(); at += step) {
        const std::string part = bytes.substr(at, step);
        z_stream stream;
        std::memset(&stream, 0, sizeof stream);
        // 16 + window bits: a gzip wrapper around the stream.
        if (deflateInit2(&stream, 9, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            throw std::runtime_error("deflateInit2 failed");
        std::string packed(deflateBound(&stream, part.size()), '\0');
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(part.data()));
        stream.avail_in = static_cast<uInt>(part.size());
        stream.next_out = reinterpret_cast<Bytef*>(&packed[0]);
        stream.avail_out = static_cast<uInt>(packed.size());
        const int status = deflate(&stream, Z_FINISH);
        packed.resize(stream.total_out);
        deflateEnd(&stream);
        if (status != Z_STREAM_END)
            throw std::runtime_error("deflate failed");
        out += packed;
        if (step == 0)
            break;
    }
    return out;
}

} // namespace mftest

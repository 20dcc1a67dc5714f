#include "trace/TraceShape.h"

#include <cstdint>
#include <cstring>
#include <utility>

#include <zlib.h>

namespace Ovik {
namespace detail {

namespace {

// Every format here stores its numbers big-endian, except the length inside ZTR compressed blocks.
std::uint64_t be32(const unsigned char* p) {
    return (std::uint64_t(p[0]) << 24) | (std::uint64_t(p[1]) << 16) | (std::uint64_t(p[2]) << 8) | p[3];
}
std::uint64_t be16(const unsigned char* p) { return (std::uint64_t(p[0]) << 8) | p[1]; }
std::uint64_t le32(const unsigned char* p) {
    return (std::uint64_t(p[3]) << 24) | (std::uint64_t(p[2]) << 16) | (std::uint64_t(p[1]) << 8) | p[0];
}

// True when [offset, offset + length) lies inside a file of `size` bytes (64-bit sums: the
// operands are at most 32-bit, so nothing wraps).
bool inside(std::uint64_t offset, std::uint64_t length, std::size_t size) {
    return offset <= size && length <= size - offset;
}

constexpr std::size_t ztrHeaderBytes = 10;
constexpr unsigned char ztrMagic[8] = {0xAE, 'Z', 'T', 'R', '\r', '\n', 0x1A, '\n'};
constexpr unsigned char ztrZlib = 2;
constexpr unsigned char ztrRunLength = 1;
constexpr unsigned char ztrXrle = 3;
constexpr unsigned char ztrXrle2 = 4;

// The length a run-length block decodes to: after the method byte, the declared length and the
// guard byte, a guard introduces (count, value) or, with a count of 0, a literal guard. -1 when
// the block ends inside a run.
long long runLengthOutput(const unsigned char* block, std::uint64_t length) {
    const unsigned char guard = block[5];
    long long out = 0;
    for (std::uint64_t at = 6; at < length;) {
        // Writers pick the rarest byte as the guard: the literal bytes up to the next one are
        // counted at once.
        const void* next = std::memchr(block + at, guard, static_cast<std::size_t>(length - at));
        const std::uint64_t literalEnd =
            next ? static_cast<std::uint64_t>(static_cast<const unsigned char*>(next) - block) : length;
        out += static_cast<long long>(literalEnd - at);
        at = literalEnd;
        if (at == length)
            break;
        if (at + 1 < length && block[at + 1] == 0) {
            ++out;
            at += 2;
        } else if (at + 2 < length) {
            out += block[at + 1];
            at += 3;
        } else {
            return -1;
        }
    }
    return out;
}

// How deep compressed blocks may nest (a zlib block whose output is compressed again, ...).
constexpr int maxZtrNesting = 4;

// The declared decoded length of a zlib or run-length block, which the decoder allocates at once
// and then trusts; -1 when the block is too short to hold one or declares more than is plausible.
long long declaredOutput(const unsigned char* block, std::uint64_t length) {
    if (length < 6)
        return -1;
    const std::uint64_t decoded = le32(block + 1);
    if (decoded > maxZtrBlockBytes || decoded > length * maxZtrExpansionRatio)
        return -1;
    return static_cast<long long>(decoded);
}

// A compressed block starts with its method byte. Everything but the content of zlib blocks is
// checked here; what a zlib block yields is checked when it is inflated (inflateZtrBlock), so
// each block is inflated only once.
ShapeFault checkZtrBlock(const unsigned char* block, std::uint64_t length, int depth) {
    if (length == 0)
        return ShapeFault::None;
    // The decoder's extended run-length methods trust their own counts and write past their
    // buffers; the writers use them for nothing a chromatogram needs, so they are refused.
    if (block[0] == ztrXrle || block[0] == ztrXrle2)
        return ShapeFault::BadCount;
    if (block[0] != ztrZlib && block[0] != ztrRunLength)
        return ShapeFault::None;
    if (length < 6 || depth > maxZtrNesting)
        return ShapeFault::BadCount;
    const long long decoded = declaredOutput(block, length);
    if (decoded < 0)
        return ShapeFault::ExpansionTooLarge;
    if (block[0] == ztrRunLength && runLengthOutput(block, length) != decoded)
        return ShapeFault::ExpansionTooLarge;
    return ShapeFault::None;
}

// Inflates one zlib block into a new buffer of exactly its declared length. The decoder does not
// notice a stream cut short and goes on with a buffer shorter than the length it trusts, so the
// stream must end, and end exactly there (one spare byte of room catches a longer one).
ShapeFault inflateOnce(const unsigned char* block, std::size_t length, MallocBuffer& out,
                       std::size_t& outLength) {
    const long long declared = declaredOutput(block, length);
    if (declared < 0)
        return ShapeFault::ExpansionTooLarge;
    MallocBuffer buffer(static_cast<char*>(std::malloc(static_cast<std::size_t>(declared) + 1)));
    if (!buffer)
        return ShapeFault::ExpansionTooLarge;
    z_stream stream;
    std::memset(&stream, 0, sizeof stream);
    if (inflateInit(&stream) != Z_OK)
        return ShapeFault::BadCount;
    stream.next_in = const_cast<unsigned char*>(block + 5);
    stream.avail_in = static_cast<uInt>(length - 5);
    stream.next_out = reinterpret_cast<unsigned char*>(buffer.get());
    stream.avail_out = static_cast<uInt>(declared + 1);
    const int status = inflate(&stream, Z_FINISH);
    const std::uint64_t produced = stream.total_out;
    inflateEnd(&stream);
    if (status != Z_STREAM_END || produced != static_cast<std::uint64_t>(declared))
        return ShapeFault::ExpansionTooLarge;
    out = std::move(buffer);
    outLength = static_cast<std::size_t>(declared);
    return ShapeFault::None;
}

constexpr std::size_t scfHeaderBytes = 128;

constexpr std::size_t abifEntryBytes = 28;
constexpr std::size_t abifRootEntry = 6; // after "ABIF" and the version
constexpr std::size_t macBinaryHeaderBytes = 128;
// The decoder refuses nothing by count; no real file has a directory this large.
constexpr std::uint64_t maxAbifEntries = 1u << 20;

// One directory entry of ABIF data of `abifSize` bytes.
ShapeFault checkAbifEntry(const unsigned char* entry, std::size_t abifSize) {
    const std::uint64_t elementBytes = be16(entry + 10);
    const std::uint64_t count = be32(entry + 12);
    const std::uint64_t dataSize = be32(entry + 16);
    const std::uint64_t offset = be32(entry + 20);
    // The decoder sizes what it allocates and reads by the count alone, so each entry's count
    // must be backed by its own elements: an element size of 0 would let any count through.
    // The product cannot wrap (16 by 32 bits in 64). Data of four bytes or fewer is held in
    // the offset field itself.
    if ((count != 0 && elementBytes == 0) || count * elementBytes > dataSize)
        return ShapeFault::BadCount;
    if (dataSize > 4 && !inside(offset, dataSize, abifSize))
        return ShapeFault::SectionOutside;
    return ShapeFault::None;
}

ShapeFault checkAbifAt(const unsigned char* data, std::size_t size, std::size_t base) {
    if (size < base + abifRootEntry + abifEntryBytes)
        return ShapeFault::TruncatedHeader;
    const unsigned char* root = data + base + abifRootEntry;
    const std::uint64_t elementSize = be16(root + 10);
    const std::uint64_t entries = be32(root + 12);
    const std::uint64_t directory = be32(root + 20);
    if (entries > maxAbifEntries || (entries != 0 && elementSize != abifEntryBytes))
        return ShapeFault::BadCount;
    // Offsets count from the start of the ABIF data, after any MacBinary header.
    const std::size_t abifSize = size - base;
    if (!inside(directory, entries * abifEntryBytes, abifSize))
        return ShapeFault::SectionOutside;
    const unsigned char* abif = data + base;
    for (std::uint64_t i = 0; i < entries; ++i) {
        const ShapeFault fault = checkAbifEntry(abif + directory + i * abifEntryBytes, abifSize);
        if (fault != ShapeFault::None)
            return fault;
    }
    // The decoder allocates by two counts, of samples (DATA 9) and calls (PBAS 1). It looks each
    // up by walking records from the directory's start until one has that label and number: past
    // the declared entries too, as far as the file goes. The record it would take is checked.
    const std::pair<const char*, std::uint64_t> allocating[] = {{"DATA", 9}, {"PBAS", 1}};
    for (const auto& wanted : allocating) {
        for (std::uint64_t at = directory; at + 8 <= abifSize; at += abifEntryBytes) {
            if (std::memcmp(abif + at, wanted.first, 4) != 0 || be32(abif + at + 4) != wanted.second)
                continue;
            if (at + abifEntryBytes > abifSize)
                return ShapeFault::SectionOutside;
            const ShapeFault fault = checkAbifEntry(abif + at, abifSize);
            if (fault != ShapeFault::None)
                return fault;
            break;
        }
    }
    return ShapeFault::None;
}

} // namespace

ShapeFault checkZtrShape(const unsigned char* data, std::size_t size) {
    if (size < ztrHeaderBytes || std::memcmp(data, ztrMagic, sizeof ztrMagic) != 0)
        return ShapeFault::TruncatedHeader;
    std::size_t at = ztrHeaderBytes;
    while (at < size) {
        // type, metadata length, metadata, data length, data
        if (!inside(at, 8, size))
            return ShapeFault::SectionOutside;
        const std::uint64_t metaLength = be32(data + at + 4);
        if (!inside(at + 8, metaLength, size))
            return ShapeFault::SectionOutside;
        const std::uint64_t lengthAt = at + 8 + metaLength;
        if (!inside(lengthAt, 4, size))
            return ShapeFault::SectionOutside;
        const std::uint64_t dataLength = be32(data + lengthAt);
        if (!inside(lengthAt + 4, dataLength, size))
            return ShapeFault::SectionOutside;
        const ShapeFault block = checkZtrBlock(data + lengthAt + 4, dataLength, 0);
        if (block != ShapeFault::None)
            return block;
        at = static_cast<std::size_t>(lengthAt + 4 + dataLength);
    }
    return ShapeFault::None;
}

ShapeFault inflateZtrBlock(const unsigned char* block, std::size_t length, MallocBuffer& out,
                           std::size_t& outLength) {
    out.reset();
    outLength = 0;
    if (length == 0 || block[0] != ztrZlib)
        return ShapeFault::None;
    const unsigned char* current = block;
    std::size_t currentLength = length;
    for (int depth = 0; currentLength > 0 && current[0] == ztrZlib; ++depth) {
        if (depth > maxZtrNesting)
            return ShapeFault::BadCount;
        MallocBuffer next;
        std::size_t nextLength = 0;
        const ShapeFault fault = inflateOnce(current, currentLength, next, nextLength);
        if (fault != ShapeFault::None) {
            out.reset();
            outLength = 0;
            return fault;
        }
        out = std::move(next);
        outLength = nextLength;
        current = reinterpret_cast<const unsigned char*>(out.get());
        currentLength = outLength;
    }
    // What the stream held may be compressed again by another method.
    const ShapeFault rest = checkZtrBlock(current, currentLength, 1);
    if (rest != ShapeFault::None) {
        out.reset();
        outLength = 0;
    }
    return rest;
}

ShapeFault checkScfShape(const unsigned char* data, std::size_t size) {
    if (size < scfHeaderBytes)
        return ShapeFault::TruncatedHeader;
    const std::uint64_t samples = be32(data + 4);
    const std::uint64_t samplesOffset = be32(data + 8);
    const std::uint64_t bases = be32(data + 12);
    const std::uint64_t basesOffset = be32(data + 24);
    const std::uint64_t commentsSize = be32(data + 28);
    const std::uint64_t commentsOffset = be32(data + 32);
    const std::uint64_t sampleSize = be32(data + 40);
    const std::uint64_t privateSize = be32(data + 48);
    const std::uint64_t privateOffset = be32(data + 52);
    // Files before version 3 may leave the sample size 0; the decoder then reads bytes.
    const std::uint64_t bytesPerSample = sampleSize == 2 ? 2 : 1;
    if (sampleSize > 2)
        return ShapeFault::BadCount;
    // Four channels of samples; per base a position (4 bytes), four confidences, the call and
    // three spare bytes.
    if (!inside(samplesOffset, samples * 4 * bytesPerSample, size) ||
        !inside(basesOffset, bases * 12, size) || !inside(commentsOffset, commentsSize, size) ||
        !inside(privateOffset, privateSize, size))
        return ShapeFault::SectionOutside;
    return ShapeFault::None;
}

ShapeFault checkAbiShape(const unsigned char* data, std::size_t size) {
    if (size >= 4 && std::memcmp(data, "ABIF", 4) == 0)
        return checkAbifAt(data, size, 0);
    if (size >= macBinaryHeaderBytes + 4 && std::memcmp(data + macBinaryHeaderBytes, "ABIF", 4) == 0)
        return checkAbifAt(data, size, macBinaryHeaderBytes);
    return ShapeFault::TruncatedHeader;
}

ShapeFault checkTraceShape(int code, const unsigned char* data, std::size_t size) {
    switch (code) {
    case 1: // SCF
        return checkScfShape(data, size);
    case 2: // ABI
        return checkAbiShape(data, size);
    case 7: case 8: case 9: case 10: // ZTR and its versions
        return checkZtrShape(data, size);
    default:
        return ShapeFault::None;
    }
}

} // namespace detail
} // namespace Ovik

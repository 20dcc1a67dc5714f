#include "trace/AbiSparseRead.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

namespace Ovik {
namespace detail {

namespace {

constexpr std::size_t entryBytes = 28;
constexpr std::size_t rootEntryAt = 6; // after "ABIF" and the version
constexpr std::size_t macBinaryHeaderBytes = 128;
// Directories of real files hold a few hundred entries.
constexpr std::uint64_t maxEntries = 1u << 16;

std::uint64_t be32(const unsigned char* p) {
    return (std::uint64_t(p[0]) << 24) | (std::uint64_t(p[1]) << 16) | (std::uint64_t(p[2]) << 8) | p[3];
}

typedef std::pair<std::uint64_t, std::uint64_t> Range;

bool overlaps(const Range& a, const Range& b) { return a.first < b.second && b.first < a.second; }

} // namespace

std::vector<std::pair<std::size_t, std::size_t>> abiUnreadRanges(TraceFileBytes& file, const std::string& prefix,
                                                                 bool withSamples) {
    std::vector<std::pair<std::size_t, std::size_t>> none;
    const std::uint64_t size = file.plainSize();
    const unsigned char* head = reinterpret_cast<const unsigned char*>(prefix.data());
    std::uint64_t base;
    if (prefix.size() >= 4 && std::memcmp(head, "ABIF", 4) == 0)
        base = 0;
    else if (prefix.size() >= macBinaryHeaderBytes + 4 && std::memcmp(head + macBinaryHeaderBytes, "ABIF", 4) == 0)
        base = macBinaryHeaderBytes;
    else
        return none;
    if (size == 0 || prefix.size() < base + rootEntryAt + entryBytes)
        return none;
    const unsigned char* root = head + base + rootEntryAt;
    const std::uint64_t entries = be32(root + 12);
    const std::uint64_t directory = base + be32(root + 20);
    if (entries == 0 || entries > maxEntries || directory + entries * entryBytes > size)
        return none;
    std::string bytes(static_cast<std::size_t>(entries * entryBytes), '\0');
    if (!file.readAt(static_cast<std::size_t>(directory), &bytes[0], bytes.size()))
        return none;

    std::vector<Range> skipped, kept;
    kept.emplace_back(directory, directory + entries * entryBytes);
    for (std::uint64_t i = 0; i < entries; ++i) {
        const unsigned char* entry = reinterpret_cast<const unsigned char*>(bytes.data()) + i * entryBytes;
        const std::uint64_t dataSize = be32(entry + 16);
        if (dataSize <= 4)
            continue; // held in the entry itself
        const Range range(base + be32(entry + 20), base + be32(entry + 20) + dataSize);
        const std::uint64_t number = be32(entry + 4);
        const bool channel = std::memcmp(entry, "DATA", 4) == 0;
        const bool analysed = number >= 9 && number <= 12;
        if (channel && !(withSamples && analysed))
            skipped.push_back(range);
        else
            kept.push_back(range);
    }
    std::sort(skipped.begin(), skipped.end());
    std::vector<std::pair<std::size_t, std::size_t>> holes;
    for (const Range& range : skipped) {
        if (range.second > directory || range.second > size || range.first < prefix.size())
            continue;
        if (std::any_of(kept.begin(), kept.end(), [&range](const Range& k) { return overlaps(range, k); }))
            continue;
        if (!holes.empty() && range.first <= holes.back().second)
            holes.back().second = std::max<std::size_t>(holes.back().second, static_cast<std::size_t>(range.second));
        else
            holes.emplace_back(static_cast<std::size_t>(range.first), static_cast<std::size_t>(range.second));
    }
    return holes;
}

} // namespace detail
} // namespace Ovik

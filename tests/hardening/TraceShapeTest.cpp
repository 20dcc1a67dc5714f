// The layout checks made before a chromatogram reaches the decoder: a declared size or offset
// that does not fit the file is refused, so the decoder never allocates or reads by it.
#include <trace/TraceFile.h>
#include <trace/TraceShape.h>

#include <TestSupport.h>
#include <TraceWriter.h>

#include <gtest/gtest.h>

#include <cstdint>

#include <zlib.h>
#include <string>

namespace {

using Ovik::detail::ShapeFault;

std::string be32(std::uint32_t v) {
    return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}
std::string le32(std::uint32_t v) {
    return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}
const std::string kZtrHeader("\xAEZTR\r\n\x1A\n\x01\x02", 10);

std::string ztrChunk(const std::string& type, const std::string& meta, const std::string& data) {
    return type + be32(static_cast<std::uint32_t>(meta.size())) + meta +
           be32(static_cast<std::uint32_t>(data.size())) + data;
}

ShapeFault ztr(const std::string& bytes) {
    return Ovik::detail::checkZtrShape(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

TEST(TraceShape, ZtrChunksMustFitTheFile) {
    const std::string good = kZtrHeader + ztrChunk("BASE", "", std::string("\0ACGT", 5)) +
                             ztrChunk("SMP4", "meta", std::string(9, '\0'));
    EXPECT_EQ(ztr(good), ShapeFault::None);
    EXPECT_EQ(ztr(kZtrHeader), ShapeFault::None); // no chunks at all: the decoder's to judge
    EXPECT_EQ(ztr(kZtrHeader.substr(0, 9)), ShapeFault::TruncatedHeader);
    // Metadata or data length past the end (the decoder would allocate what they say).
    EXPECT_EQ(ztr(kZtrHeader + "SMP4" + be32(0xAD099B46u) + std::string(16, '\0')), ShapeFault::SectionOutside);
    EXPECT_EQ(ztr(kZtrHeader + "BASE" + be32(0) + be32(0x7FFFFF00u) + "ACGT"), ShapeFault::SectionOutside);
    // A chunk cut inside its header, or one byte short of its data.
    EXPECT_EQ(ztr(good + "BAS"), ShapeFault::SectionOutside);
    EXPECT_EQ(ztr(good.substr(0, good.size() - 1)), ShapeFault::SectionOutside);
}

TEST(TraceShape, ZtrCompressedBlocksDeclareBoundedOutput) {
    const std::string zlib4gb = std::string("\x02", 1) + le32(0xFFFFFFF0u) + "x\x9c\x03\x00";
    EXPECT_EQ(ztr(kZtrHeader + ztrChunk("BASE", "", zlib4gb)), ShapeFault::ExpansionTooLarge);
    // Ten runs of 200 'A's behind the guard 0x96: exactly the 2000 bytes declared.
    std::string runs;
    for (int i = 0; i < 10; ++i)
        runs += std::string("\x96\xC8", 2) + "A";
    const std::string rle = std::string("\x01", 1) + le32(2000u) + std::string("\x96", 1) + runs;
    EXPECT_EQ(ztr(kZtrHeader + ztrChunk("BASE", "", rle)), ShapeFault::None);
    EXPECT_EQ(ztr(kZtrHeader + ztrChunk("BASE", "", rle.substr(0, rle.size() - 1))), ShapeFault::ExpansionTooLarge);
    // Literals, a literal guard (guard, 0) and runs (guard, count, byte) add up to the declared
    // length; a block that ends inside a guard sequence is refused.
    const std::string mixed = std::string("AB\x96\x00\x96\x05" "CDE", 9);
    for (const auto& c : {std::make_pair(mixed, 10u), std::make_pair(mixed, 11u),
                          std::make_pair(mixed + "\x96", 10u), std::make_pair(mixed + "\x96\x05", 10u)}) {
        const std::string block = std::string("\x01", 1) + le32(c.second) + "\x96" + c.first;
        const bool exact = c.first == mixed && c.second == 10u;
        EXPECT_EQ(ztr(kZtrHeader + ztrChunk("BASE", "", block)),
                  exact ? ShapeFault::None : ShapeFault::ExpansionTooLarge)
            << c.first.size() << " bytes declaring " << c.second;
    }
    // The extended run-length methods are refused outright.
    EXPECT_EQ(ztr(kZtrHeader + ztrChunk("SMP4", "", std::string("\x04\xea\xfd\xff\xff", 5))), ShapeFault::BadCount);
    EXPECT_EQ(ztr(kZtrHeader + ztrChunk("SMP4", "", std::string("\x03\x00\x10", 3))), ShapeFault::BadCount);
    const std::string rleHuge = std::string("\x01", 1) + le32(300u << 20) + std::string(300, 'A');
    EXPECT_EQ(ztr(kZtrHeader + ztrChunk("BASE", "", rleHuge)), ShapeFault::ExpansionTooLarge);

    // A zlib block is judged by its declaration alone here; its content when it is inflated.
    EXPECT_EQ(ztr(kZtrHeader + ztrChunk("SMP4", "", std::string("\x02", 1) + le32(100u) + "xx")),
              ShapeFault::None);
    EXPECT_EQ(ztr(kZtrHeader + ztrChunk("SMP4", "", std::string("\x02\x10\x00", 3))), ShapeFault::BadCount);
}

std::string packed(const std::string& plain) {
    uLongf size = compressBound(plain.size());
    std::string out(size, '\0');
    EXPECT_EQ(compress2(reinterpret_cast<Bytef*>(&out[0]), &size, reinterpret_cast<const Bytef*>(plain.data()),
                        plain.size(), 9),
              Z_OK);
    out.resize(size);
    return out;
}

// A zlib block of a ZTR chunk: method byte, declared length, stream.
std::string zlibBlock(const std::string& plain, std::uint32_t declared) {
    return std::string("\x02", 1) + le32(declared) + packed(plain);
}
std::string zlibBlock(const std::string& plain) {
    return zlibBlock(plain, static_cast<std::uint32_t>(plain.size()));
}

struct Inflated {
    ShapeFault fault;
    std::string bytes;
};
Inflated inflate(const std::string& block) {
    Ovik::detail::MallocBuffer out;
    std::size_t length = 0;
    const ShapeFault fault = Ovik::detail::inflateZtrBlock(reinterpret_cast<const unsigned char*>(block.data()),
                                                           block.size(), out, length);
    return {fault, out ? std::string(out.get(), length) : std::string()};
}

// A zlib block must inflate completely to exactly its declared length: the decoder does not
// notice a stream cut short and then copies past the end of what it inflated.
TEST(TraceShape, ZlibBlocksInflateToExactlyTheirDeclaredLength) {
    const std::string plain = std::string(1, '\0') + std::string(5000, 'C');
    const std::string block = zlibBlock(plain);
    struct Case {
        const char* what;
        std::string block;
        ShapeFault fault;
        std::string bytes;
    } cases[] = {
        {"whole", block, ShapeFault::None, plain},
        {"trailing bytes after the stream", block + "junk", ShapeFault::None, plain},
        {"zlib inside zlib", zlibBlock(block), ShapeFault::None, plain},
        {"not zlib: left to the decoder", std::string("\0ACGT", 5), ShapeFault::None, ""},
        {"stream cut short", block.substr(0, block.size() - 6), ShapeFault::ExpansionTooLarge, ""},
        {"declares one byte more", zlibBlock(plain, 5002u), ShapeFault::ExpansionTooLarge, ""},
        {"declares one byte less", zlibBlock(plain, 5000u), ShapeFault::ExpansionTooLarge, ""},
        {"not a stream", std::string("\x02", 1) + le32(10u) + "garbage!", ShapeFault::ExpansionTooLarge, ""},
        {"no room for a length", std::string("\x02\x01", 2), ShapeFault::ExpansionTooLarge, ""},
        {"declares 4 GB", std::string("\x02", 1) + le32(0xFFFFFFF0u) + "x\x9c\x03\x00",
         ShapeFault::ExpansionTooLarge, ""},
        {"holds an extended run-length block", zlibBlock(std::string("\x04\xea\xfd\xff\xff", 5)),
         ShapeFault::BadCount, ""},
        {"holds a run-length block that falls short",
         zlibBlock(std::string("\x01", 1) + le32(2000u) + "\x96\x96\xC8"), ShapeFault::ExpansionTooLarge, ""},
    };
    for (const Case& c : cases) {
        const Inflated got = inflate(c.block);
        EXPECT_EQ(got.fault, c.fault) << c.what;
        EXPECT_EQ(got.bytes, c.bytes) << c.what;
    }
    // Nesting is bounded.
    std::string deep = block;
    for (int i = 0; i < 6; ++i)
        deep = zlibBlock(deep);
    EXPECT_EQ(inflate(deep).fault, ShapeFault::BadCount);
}

// The reader inflates each zlib chunk once, checked; a bad one makes the whole file unreadable.
TEST(TraceShape, ReaderInflatesZtrZlibChunksChecked) {
    mftest::TempDir dir;
    Ovik::TraceFile reader;
    std::string samples("\0\0", 2);
    for (int i = 0; i < 40; ++i)
        samples += std::string("\0\x10\0\x20\0\x30\0\x40", 8);
    const std::string bases("\0ACGTN", 6);
    auto file = [&](const std::string& baseBlock) {
        return kZtrHeader + ztrChunk("SMP4", "", zlibBlock(samples)) + ztrChunk("BASE", "", baseBlock);
    };
    const std::string good = mftest::writeFile(dir.file("good.ztr"), file(zlibBlock(zlibBlock(bases))));
    const boost::shared_ptr<Velm::TraceData> trace = reader.read(good.c_str(), nullptr);
    ASSERT_TRUE(trace);
    EXPECT_EQ(trace->bases(), "ACGTN");
    const std::string whole = zlibBlock(bases);
    for (const std::string& bad : {whole.substr(0, whole.size() - 4), zlibBlock(bases, 7u),
                                   zlibBlock(std::string("\x03\x00\x10", 3))}) {
        const std::string path = mftest::writeFile(dir.file("bad.ztr"), file(bad));
        EXPECT_FALSE(reader.read(path.c_str(), nullptr));
    }
}

std::string scfHeader(std::uint32_t samples, std::uint32_t samplesAt, std::uint32_t bases,
                      std::uint32_t basesAt, std::uint32_t sampleSize) {
    std::string h = ".scf" + be32(samples) + be32(samplesAt) + be32(bases) + be32(0) + be32(0) +
                    be32(basesAt) + be32(0) + be32(0) + "3.00" + be32(sampleSize) + be32(0) +
                    be32(0) + be32(0);
    h.resize(128, '\0');
    return h;
}

ShapeFault scf(const std::string& bytes) {
    return Ovik::detail::checkScfShape(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

TEST(TraceShape, ScfSectionsMustFitTheFile) {
    // 10 samples of 2 bytes in four channels at 128, then 3 bases of 12 bytes.
    const std::string body(80 + 36, '\0');
    EXPECT_EQ(scf(scfHeader(10, 128, 3, 208, 2) + body), ShapeFault::None);
    EXPECT_EQ(scf(scfHeader(11, 128, 3, 208, 2) + body), ShapeFault::None); // overlap is not ours to judge
    EXPECT_EQ(scf(scfHeader(1000, 128, 3, 208, 2) + body), ShapeFault::SectionOutside);
    EXPECT_EQ(scf(scfHeader(10, 128, 0x40000000u, 208, 2) + body), ShapeFault::SectionOutside);
    EXPECT_EQ(scf(scfHeader(10, 0xFFFFFFF0u, 3, 208, 2) + body), ShapeFault::SectionOutside);
    EXPECT_EQ(scf(scfHeader(10, 128, 3, 208, 7) + body), ShapeFault::BadCount);
    EXPECT_EQ(scf(scfHeader(10, 128, 3, 208, 2).substr(0, 100)), ShapeFault::TruncatedHeader);
}

ShapeFault abi(const std::string& bytes) {
    return Ovik::detail::checkAbiShape(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

std::string abifEntry(const std::string& name, std::uint16_t elementSize, std::uint32_t count,
                      std::uint32_t size, std::uint32_t offset, std::uint32_t number = 1) {
    return name + be32(number) + std::string("\0\x04", 2) +
           std::string{char(elementSize >> 8), char(elementSize)} + be32(count) + be32(size) +
           be32(offset) + be32(0);
}

TEST(TraceShape, AbiDirectoryAndDataMustFitTheFile) {
    // Header, directory of two entries at 128, data of the second at 184.
    auto file = [](std::uint32_t entries, std::uint32_t dataAt, std::uint32_t count) {
        std::string bytes = "ABIF" + std::string("\x00\x65", 2) + abifEntry("tdir", 28, entries, entries * 28, 128);
        bytes.resize(128, '\0');
        bytes += abifEntry("PBAS", 1, 4, 4, 0x41434754) + abifEntry("DATA", 2, count, count * 2, dataAt);
        bytes.resize(184 + 20, '\0');
        return bytes;
    };
    EXPECT_EQ(abi(file(2, 184, 10)), ShapeFault::None);
    EXPECT_EQ(abi(file(2, 184, 11)), ShapeFault::SectionOutside);
    EXPECT_EQ(abi(file(2, 0xFFFFFF00u, 10)), ShapeFault::SectionOutside);
    EXPECT_EQ(abi(file(3000, 184, 10)), ShapeFault::SectionOutside);
    EXPECT_EQ(abi(std::string(128, '\0') + file(2, 184, 10)), ShapeFault::None); // behind MacBinary
    EXPECT_EQ(abi("ABIF\x00\x65"), ShapeFault::TruncatedHeader);
}

// A decodable ABI file: four channels of 10 samples at 128 + 6 * 28, then 6 positions and 6 calls;
// `replacement` takes the place of the directory entry `name` 1 (or DATA 9).
std::string decodableAbi(const std::string& name = "", const std::string& replacement = "") {
    std::string directory;
    for (std::uint32_t channel = 9; channel <= 12; ++channel)
        directory += name == "DATA" && channel == 9 ? replacement : abifEntry("DATA", 2, 10, 20, 296, channel);
    directory += name == "PLOC" ? replacement : abifEntry("PLOC", 2, 6, 12, 316);
    directory += name == "PBAS" ? replacement : abifEntry("PBAS", 1, 6, 6, 328);
    std::string bytes = "ABIF" + std::string("\x00\x65", 2) + abifEntry("tdir", 28, 6, 6 * 28, 128);
    bytes.resize(128, '\0');
    bytes += directory;
    for (int i = 0; i < 16; ++i) // samples, then positions
        bytes += std::string{char(0), char(i < 10 ? i * 50 : i - 9)};
    return bytes + "ACGTAC";
}

// An element size of 0 lets any count pass a check of count times size against the stored size;
// the decoder then allocates and walks by the count alone. Each entry is judged on its own.
TEST(TraceShape, AbiCountsNeedElementsOfTheirOwn) {
    mftest::TempDir dir;
    Ovik::TraceFile reader;
    const std::string good = mftest::writeFile(dir.file("good.ab1"), decodableAbi());
    const auto trace = reader.read(good.c_str(), nullptr);
    ASSERT_TRUE(trace);
    EXPECT_EQ(trace->bases(), "ACGTAC");
    const std::pair<const char*, std::string> cases[] = {
        {"DATA", abifEntry("DATA", 0, 0xFFFF2662u, 0, 200, 9)}, {"PBAS", abifEntry("PBAS", 0, 0xFFFF2662u, 0, 200)},
        {"PLOC", abifEntry("PLOC", 0, 0x7FFFFFFFu, 20, 200)},   {"PBAS", abifEntry("PBAS", 2, 6, 6, 328)}};
    for (const auto& c : cases) {
        const std::string bytes = decodableAbi(c.first, c.second);
        EXPECT_EQ(abi(bytes), ShapeFault::BadCount) << c.first;
        const std::string path = mftest::writeFile(dir.file("crafted.ab1"), bytes);
        EXPECT_FALSE(reader.read(path.c_str(), nullptr)) << c.first;
    }
    // A count of 0 needs no elements, whatever their size.
    EXPECT_EQ(abi(decodableAbi("PLOC", abifEntry("PLOC", 0, 0, 0, 0))), ShapeFault::None);
    // The decoder looks entries up past the declared directory: one it would find there is checked.
    std::string beyond = decodableAbi("PBAS", abifEntry("PBAS", 0, 0xFFFF2662u, 0, 200));
    beyond.replace(18, 4, be32(5)); // the directory declares the first five entries only
    EXPECT_EQ(abi(beyond), ShapeFault::BadCount);
    EXPECT_EQ(abi(beyond.substr(0, 128 + 5 * 28 + 20)), ShapeFault::SectionOutside); // cut inside it
}

// The reader itself: a decodable chromatogram whose one length field is corrupted is refused
// rather than handed to the decoder.
TEST(TraceShape, ReaderRefusesCorruptedLengths) {
    mftest::TempDir dir;
    Ovik::TraceFile reader;
    const std::string scfPath = dir.file("t.scf");
    mftest::writeTrace(scfPath, mftest::TraceKind::SCF);
    ASSERT_TRUE(reader.read(scfPath.c_str(), nullptr));
    std::string bytes = mftest::readFile(scfPath);
    bytes.replace(4, 4, be32(0x7FFFFFFFu)); // samples
    mftest::writeFile(scfPath, bytes);
    EXPECT_FALSE(reader.read(scfPath.c_str(), nullptr));

    const std::string ztrPath = dir.file("t.ztr");
    mftest::writeTrace(ztrPath, mftest::TraceKind::ZTR);
    ASSERT_TRUE(reader.read(ztrPath.c_str(), nullptr));
    bytes = mftest::readFile(ztrPath);
    bytes.replace(14, 4, be32(0xAD099B46u)); // the first chunk's metadata length
    mftest::writeFile(ztrPath, bytes);
    EXPECT_FALSE(reader.read(ztrPath.c_str(), nullptr));
}

TEST(TraceShape, EveryThirdPartyChromatogramPassesItsChecksAndReads) {
    MF_REQUIRE_TESTDATA();
    const char* files[] = {"traces/310.ab1",   "traces/3100.ab1",   "traces/3730.ab1",
                           "traces/5565810.ab1", "traces/SDBHD01T00PB1A1672F.ab1",
                           "traces/310.scf",   "traces/310_v2.scf", "traces/GBKAK82TF.scf",
                           "traces/chad100.scf", "traces/version2.scf", "traces/version3.scf",
                           "traces/310.ztr",   "traces/GBKAK82TF.ztr", "traces/SDBHD01T00PB1A1672F.ztr"};
    for (const char* file : files) {
        const std::string bytes = mftest::readFile(mftest::testdataFile(file));
        const int code = Ovik::TraceFile::getFormat(mftest::testdataFile(file).c_str());
        EXPECT_EQ(Ovik::detail::checkTraceShape(code, reinterpret_cast<const unsigned char*>(bytes.data()),
                                                bytes.size()),
                  ShapeFault::None)
            << file;
        // And the checks made before decoding (ZTR chunk sizes included) let every one through.
        Ovik::TraceFile reader;
        EXPECT_TRUE(reader.read(mftest::testdataFile(file).c_str(), nullptr)) << file;
    }
}

} // namespace

namespace {

// Per-base chunks that disagree with the BASE chunk (or come without one): the decoder copied
// them past the end of arrays sized by the bases. Refused after a checking decode.
TEST(TraceShape, ZtrPerBaseChunksMustAgreeWithTheBases) {
    mftest::TempDir dir;
    Ovik::TraceFile reader;
    auto chunk = [](const std::string& type, const std::string& data) {
        return type + be32(0) + be32(static_cast<std::uint32_t>(data.size())) + data;
    };
    std::string samples("\0\0", 2);
    for (int i = 0; i < 40; ++i)
        samples += std::string("\0\x10", 2);
    std::string positions("\0\0\0\0", 4);
    for (int i = 0; i < 20; ++i)
        positions += be32(3);
    const std::string noBases = kZtrHeader + chunk("SMP4", samples) + chunk("BPOS", positions);
    const std::string fewerBases =
        kZtrHeader + chunk("SMP4", samples) + chunk("BASE", std::string("\0ACGT", 5)) + chunk("BPOS", positions);
    for (const std::string& bytes : {noBases, fewerBases}) {
        const std::string path = mftest::writeFile(dir.file("bad.ztr"), bytes);
        EXPECT_EQ(Ovik::TraceFile::getFormat(path.c_str()), Ovik::TraceFile::ZTR);
        EXPECT_FALSE(reader.read(path.c_str(), nullptr));
    }
    // The decoder's own files pass the same check.
    mftest::TraceSample sample;
    sample.bases = "ACGTACGTAC";
    sample.points = 120;
    const std::string good = dir.file("good.ztr");
    mftest::writeTrace(good, mftest::TraceKind::ZTR, sample);
    const boost::shared_ptr<Velm::TraceData> trace = reader.read(good.c_str(), nullptr);
    ASSERT_TRUE(trace);
    EXPECT_EQ(trace->bases(), "ACGTACGTAC");
}

} // namespace

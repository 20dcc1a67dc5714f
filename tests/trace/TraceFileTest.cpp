// Ovik::TraceFile on chromatograms the tests write themselves.

#include "TraceTestSupport.h"

#include <trace/TraceConversion.h>
#include <trace/TraceFile.h>

#include <TestSupport.h>
#include <TraceWriter.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

using Ovik::TraceFile;
using tracetest::ReadPtr;

namespace {

TEST(TraceFileSupports, IsACaseInsensitivePrefixTestOverTheElevenNames) {
    const std::vector<std::pair<const char*, bool>> cases = {
        {"ZTR", true},   {"ztr", true},    {"Ztr3", true}, {"scf-trace", true}, {"PLN", true},
        {"ctf", true},   {"Bio", true},    {"abi", true},  {"ALF", true},       {"exp", true},
        {"ztr1", true},  {"sc", false},    {"", false},    {"unk", false},      {"UNK", false},
        {"FASTA", false}, {"zt", false},   {" scf", false}, {"ab", false},      {"genbank", false}};
    for (const auto& c : cases)
        EXPECT_EQ(c.second, TraceFile::supports(c.first)) << '"' << c.first << '"';
    EXPECT_FALSE(TraceFile::supports(nullptr));
}

TEST(TraceFileSupportedFormats, AreExactlyTheElevenPairsInCodeOrder) {
    const Velm::FormatList expected = {
        {"SCF", "SCF Sequence File Format"},   {"ABI", "ABI Sequence File Format"},
        {"ALF", "ALF Sequence File Format"},   {"PLN", "PLN Sequence File Format"},
        {"EXP", "EXP Sequence File Format"},   {"CTF", "CTF Sequence File Format"},
        {"ZTR", "ZTR Sequence File Format"},   {"ZTR1", "ZTR1 Sequence File Format"},
        {"ZTR2", "ZTR2 Sequence File Format"}, {"ZTR3", "ZTR3 Sequence File Format"},
        {"BIO", "BIO Sequence File Format"}};
    EXPECT_EQ(expected, TraceFile::getSupportedFormats());
}

TEST(TraceFileFormatCodes, MatchTheDecoderTraceTypes) {
    EXPECT_EQ(TT_UNK, TraceFile::Unknown);
    EXPECT_EQ(TT_SCF, TraceFile::SCF);
    EXPECT_EQ(TT_ABI, TraceFile::ABI);
    EXPECT_EQ(TT_ALF, TraceFile::ALF);
    EXPECT_EQ(TT_PLN, TraceFile::PLN);
    EXPECT_EQ(TT_EXP, TraceFile::EXP);
    EXPECT_EQ(TT_ZTR, TraceFile::ZTR);
    EXPECT_EQ(TT_ZTR1, TraceFile::ZTR1);
    EXPECT_EQ(TT_ZTR2, TraceFile::ZTR2);
    EXPECT_EQ(TT_ZTR3, TraceFile::ZTR3);
    EXPECT_EQ(TT_BIO, TraceFile::BIO);
}

// Written with the decoder's writer, read back through TraceFile: every field as the decoder
// itself decodes the same bytes, and the sample data as the record that was written.
class TraceFileRoundTrip : public ::testing::TestWithParam<std::pair<int, TraceFile::FormatType>> {};

TEST_P(TraceFileRoundTrip, GivesEveryFieldOfTheRecord) {
    mftest::TempDir dir;
    const std::string path = dir.file("fixture.trace");
    ReadPtr written = tracetest::makeRead(400, 40);
    ASSERT_TRUE(written);
    ASSERT_TRUE(tracetest::writeRead(*written, path, GetParam().first));

    EXPECT_EQ(GetParam().second, TraceFile::getFormat(path.c_str()));
    TraceFile reader;
    const auto data = reader.read(path.c_str(), nullptr);
    ASSERT_TRUE(data);
    ReadPtr direct = tracetest::decodeDirectly(path);
    ASSERT_TRUE(direct);
    tracetest::expectSameRecord(*direct, *data);

    EXPECT_EQ(path, data->traceName());
    ASSERT_EQ(400u, data->numPoints());
    ASSERT_EQ(40u, data->numBases());
    for (unsigned c = 0; c < 4; ++c) {
        const TRACE* channel[4] = {written->traceA, written->traceC, written->traceG, written->traceT};
        EXPECT_EQ(std::vector<std::uint16_t>(channel[c], channel[c] + 400), data->channel(c)) << c;
    }
    EXPECT_EQ(std::vector<std::uint16_t>(written->basePos, written->basePos + 40), data->basePos());
    EXPECT_EQ(data->basePos(), data->editBasePos());
    EXPECT_EQ("ACGTACGGTCANNTTGCAACGTACGGTCANNTTGCAACGT", data->bases());
    EXPECT_EQ(static_cast<int>(written->maxTraceVal), data->maxTraceVal);
}

INSTANTIATE_TEST_SUITE_P(WriterFormats, TraceFileRoundTrip,
                         ::testing::Values(std::make_pair(TT_SCF, TraceFile::SCF),
                                           std::make_pair(TT_ZTR, TraceFile::ZTR),
                                           std::make_pair(TT_ZTR1, TraceFile::ZTR),
                                           std::make_pair(TT_ZTR3, TraceFile::ZTR)));

TEST(TraceFileExperiment, ReadsTheTraceItLinksBesideIt) {
    mftest::TempDir dir;
    ReadPtr written = tracetest::makeRead(300, 30);
    ASSERT_TRUE(tracetest::writeRead(*written, dir.file("linked.scf"), TT_SCF));
    const std::string exp = mftest::writeFile(dir.file("reading.exp"),
                                              "ID   reading\nEN   reading\nLN   linked.scf\n"
                                              "LT   SCF\nSQ\n     ACGTACGGTC\n//\n");
    EXPECT_EQ(TraceFile::EXP, TraceFile::getFormat(exp.c_str()));
    const auto data = TraceFile().read(exp.c_str(), nullptr);
    ASSERT_TRUE(data);
    EXPECT_EQ(300u, data->numPoints());
    EXPECT_EQ(exp, data->traceName());
    EXPECT_EQ("exp", data->formatName());
    const TRACE* channel[4] = {written->traceA, written->traceC, written->traceG, written->traceT};
    for (unsigned c = 0; c < 4; ++c)
        EXPECT_EQ(std::vector<std::uint16_t>(channel[c], channel[c] + 300), data->channel(c)) << c;
    EXPECT_EQ("ACGTACGGTC", data->bases()); // the experiment file's own sequence wins
}

TEST(TraceFileExperiment, WrittenByTheDecoderReadsBack) {
    mftest::TempDir dir;
    ReadPtr written = tracetest::makeRead(300, 30);
    ASSERT_TRUE(tracetest::writeRead(*written, dir.file("linked.ztr"), TT_ZTR));
    std::free(written->trace_name);
    written->trace_name = strdup("linked.ztr");
    written->format = TT_ZTR;
    const std::string exp = dir.file("reading.exp");
    ASSERT_TRUE(tracetest::writeRead(*written, exp, TT_EXP));
    EXPECT_EQ(TraceFile::EXP, TraceFile::getFormat(exp.c_str())) << mftest::readFile(exp);
    const auto data = TraceFile().read(exp.c_str(), nullptr);
    ASSERT_TRUE(data) << mftest::readFile(exp);
    EXPECT_EQ(300u, data->numPoints());
    EXPECT_EQ(30u, data->numBases());
    EXPECT_EQ("ACGTACGGTCANNTTGCAACGTACGGTCAN", data->bases());
}

TEST(TraceFileTooSmall, OneBaseOrOnePointGivesNothing) {
    struct Case {
        int points, bases;
        bool usable;
    };
    for (const Case& c : {Case{1, 10, false}, Case{10, 1, false}, Case{2, 2, true}}) {
        mftest::TempDir dir;
        const std::string path = dir.file("small.scf");
        ReadPtr written = tracetest::makeRead(c.points, c.bases);
        ASSERT_TRUE(tracetest::writeRead(*written, path, TT_SCF));
        EXPECT_EQ(TraceFile::SCF, TraceFile::getFormat(path.c_str()));
        const auto data = TraceFile().read(path.c_str(), nullptr);
        EXPECT_EQ(c.usable, static_cast<bool>(data)) << c.points << " points, " << c.bases << " bases";
        if (data) {
            EXPECT_EQ(2u, data->numPoints());
            EXPECT_EQ(2u, data->numBases());
        }
    }
}

TEST(TraceFileNotAChromatogram, GivesZeroAndNothing) {
    mftest::TempDir dir;
    std::string bases;
    for (int i = 0; i < 40; ++i)
        bases += "ACGTTGCAACGGTACCATGGACGTTGCAACGGTACCATGGACGTTGCAACGGTACCATGG\n";
    // A gzip chromatogram is inflated, but only once: packed twice (or packed by another
    // method, which the decoder would unpack by running a program) it is no chromatogram.
    ReadPtr written = tracetest::makeRead(200, 20);
    const std::string scf = dir.file("packed.scf");
    ASSERT_TRUE(tracetest::writeRead(*written, scf, TT_SCF));
    const std::string packedTwice = mftest::gzipped(mftest::gzipped(mftest::readFile(scf)));
    const std::vector<std::pair<std::string, std::string>> files = {
        {"bases.txt", bases},
        {"bases.fasta", ">seq1 a test\n" + bases},
        {"empty.scf", ""},
        {"embl.dat", "ID   X56734; SV 1; linear; mRNA; STD; PLN; 1859 BP.\nXX\nAC   X56734;\n"
                     "SQ   Sequence 4 BP;\n     acgt                                   4\n//\n"},
        {"swiss.txt", "ID   CYS3_YEAST              Reviewed;         394 AA.\nAC   P31373;\n//\n"},
        {"short.bin", std::string("\x01\x02\x03\x04", 4)},
        {"bzip.bin", "BZh91AY&SY" + std::string(600, 'x')},
        {"packed.scf.gz.gz", packedTwice},
        {"bases.txt.gz", mftest::gzipped(bases)},
        {"compress.Z", "\037\235" + std::string(600, '\0')},
    };
    for (const auto& f : files)
        mftest::writeFile(dir.file(f.first), f.second);
    std::vector<std::string> paths = {dir.file("missing.scf"), dir.path(),
                                      "", "/dev/null"};
    for (const auto& f : files)
        paths.push_back(dir.file(f.first));
    for (const std::string& path : paths) {
        EXPECT_EQ(TraceFile::Unknown, TraceFile::getFormat(path.c_str())) << path;
        EXPECT_FALSE(TraceFile().read(path.c_str(), nullptr)) << path;
    }
    EXPECT_EQ(TraceFile::Unknown, TraceFile::getFormat(nullptr));
    EXPECT_FALSE(TraceFile().read(nullptr, nullptr));
}

TEST(TraceFileReadContext, IsNeverUsed) {
    // Any context pointer would do; the reader must not touch it, even when reading fails.
    mftest::TempDir dir;
    const std::string path = dir.file("c.scf");
    ReadPtr written = tracetest::makeRead(50, 5);
    ASSERT_TRUE(tracetest::writeRead(*written, path, TT_SCF));
    auto* poison = reinterpret_cast<cmn::OpContext*>(std::uintptr_t{0x10});
    EXPECT_TRUE(TraceFile().read(path.c_str(), poison));
    EXPECT_FALSE(TraceFile().read(dir.file("missing").c_str(), poison));
}

// The conversion step on records that no file format can carry.
TEST(TraceFileConversion, FollowsTheRecordAndItsEdgeCases) {
    ReadPtr reference = tracetest::makeRead(20, 4);
    ReadPtr read = tracetest::makeRead(20, 4);
    for (Read* r : {reference.get(), read.get()}) {
        r->format = 12; // beyond the table
        r->maxTraceVal = 0xFFFF;
        std::free(r->trace_name);
        r->trace_name = nullptr;
    }
    Velm::TraceData data;
    ASSERT_TRUE(Ovik::detail::fillTraceData(*read, data));
    EXPECT_EQ("unk", data.formatName());
    EXPECT_EQ(65535, data.maxTraceVal); // widened without sign
    EXPECT_EQ("", data.traceName());
    EXPECT_EQ(data.basePos(), data.editBasePos());
    tracetest::expectSameRecord(*reference, data);
    // The samples were moved out of the record, which the decoder then releases as usual.
    EXPECT_EQ(read->traceA, nullptr);
    EXPECT_EQ(read->traceT, nullptr);

    read->format = TT_ZTR3;
    Velm::TraceData ztr;
    ASSERT_TRUE(Ovik::detail::fillTraceData(*read, ztr));
    EXPECT_EQ("ztr3", ztr.formatName());

    read->NBases = 1;
    Velm::TraceData untouched;
    EXPECT_FALSE(Ovik::detail::fillTraceData(*read, untouched));
    EXPECT_EQ("", untouched.formatName());
    EXPECT_EQ("", untouched.info());
    EXPECT_EQ(0, untouched.rightCutoff);
}

} // namespace

#include <trace/TraceFileBytes.h>

#include <TraceWriter.h>

namespace {

// Small files' buffers are recycled per thread: a spare serves any later file that fits, and
// files beyond the spare's size get (and release) buffers of their own.
TEST(TraceFileBuffers, TheSpareServesWhatFitsAndNothingLarger) {
    using Ovik::detail::keepBuffer;
    using Ovik::detail::takeBuffer;
    std::size_t capacity = 0;
    Ovik::detail::MallocBuffer first = takeBuffer(100, capacity);
    ASSERT_TRUE(first);
    const std::size_t spareSize = capacity;
    EXPECT_GE(spareSize, 100u);
    char* const address = first.get();
    keepBuffer(std::move(first), spareSize);
    Ovik::detail::MallocBuffer again = takeBuffer(spareSize, capacity);
    EXPECT_EQ(again.get(), address);
    EXPECT_EQ(capacity, spareSize);
    // While the spare is out, a second buffer is a new one; only one is kept.
    std::size_t otherCapacity = 0;
    Ovik::detail::MallocBuffer other = takeBuffer(10, otherCapacity);
    EXPECT_NE(other.get(), address);
    keepBuffer(std::move(again), capacity);
    keepBuffer(std::move(other), otherCapacity);
    EXPECT_EQ(takeBuffer(1, capacity).get(), address);
    // Larger than the spare: a buffer of exactly that size, never kept (the next small ask gets
    // a spare-sized buffer, not the large one).
    Ovik::detail::MallocBuffer large = takeBuffer(spareSize * 4, capacity);
    EXPECT_EQ(capacity, spareSize * 4);
    keepBuffer(std::move(large), capacity);
    Ovik::detail::MallocBuffer small = takeBuffer(1, capacity);
    EXPECT_EQ(capacity, spareSize);
}

// Files of different kinds and sizes read in turn through the recycled buffer each give their own
// record, never bytes left over from the file before.
TEST(TraceFileBuffers, FilesReadInTurnGiveTheirOwnRecords) {
    mftest::TempDir dir;
    struct File {
        std::string path;
        mftest::TraceSample sample;
        mftest::TraceKind kind;
    };
    std::vector<File> files;
    const unsigned points[] = {900, 120, 4000, 60};
    const char* bases[] = {"ACGTACGTACGTAAAC", "GGCA", "TTTTGGGGCCCCAAAATTGCA", "AC"};
    for (int i = 0; i < 4; ++i) {
        File f;
        f.sample.points = points[i];
        f.sample.bases = bases[i];
        f.kind = i % 2 ? mftest::TraceKind::ZTR : mftest::TraceKind::SCF;
        f.path = dir.file("t" + std::to_string(i) + (i % 2 ? ".ztr" : ".scf"));
        mftest::writeTrace(f.path, f.kind, f.sample);
        files.push_back(f);
    }
    TraceFile reader;
    for (int round = 0; round < 3; ++round)
        for (const File& f : files) {
            const boost::shared_ptr<Velm::TraceData> trace = reader.read(f.path.c_str(), nullptr);
            ASSERT_TRUE(trace) << f.path;
            EXPECT_EQ(trace->bases(), f.sample.bases) << f.path;
            EXPECT_EQ(trace->numPoints(), f.sample.points) << f.path;
        }
}

} // namespace

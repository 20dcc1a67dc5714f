// Ovik::TraceFile reads exactly the file it is given: no search paths, no helper programs, no
// decoder crashes on text, and concurrent reads that agree with serial ones.

#include "TraceTestSupport.h"

#include <trace/TraceFile.h>

#include <TestSupport.h>
#include <TraceWriter.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

using Ovik::TraceFile;
using tracetest::ReadPtr;

// The decoder leaks a few bytes each time it follows an experiment file's trace link; that is
// its own and not ours to fix. Its frames only show with the slow unwinder.
extern "C" const char* __lsan_default_suppressions() { return "leak:exp2read\n"; }
extern "C" const char* __asan_default_options() { return "fast_unwind_on_malloc=0"; }

namespace {

/// Sets the decoder's search-path variables for the life of the object.
class SearchPathEnvironment {
public:
    explicit SearchPathEnvironment(const std::string& value) {
        for (const char* name : names_) {
            const char* old = std::getenv(name);
            saved_.push_back(old ? std::make_pair(true, std::string(old)) : std::make_pair(false, std::string()));
            ::setenv(name, value.c_str(), 1);
        }
    }
    ~SearchPathEnvironment() {
        for (std::size_t i = 0; i < 3; ++i) {
            if (saved_[i].first)
                ::setenv(names_[i], saved_[i].second.c_str(), 1);
            else
                ::unsetenv(names_[i]);
        }
    }

private:
    const char* names_[3] = {"TRACE_PATH", "RAWDATA", "EXP_PATH"};
    std::vector<std::pair<bool, std::string>> saved_;
};

TEST(TraceFileSearchPaths, AreNeverConsulted) {
    mftest::TempDir elsewhere;
    mftest::TempDir here;
    ReadPtr written = tracetest::makeRead(100, 10);
    ASSERT_TRUE(tracetest::writeRead(*written, elsewhere.file("found.scf"), TT_SCF));
    ASSERT_TRUE(TraceFile().read(elsewhere.file("found.scf").c_str(), nullptr));

    // An experiment file here that links a trace which is only on the search path.
    const std::string exp = mftest::writeFile(here.file("reading.exp"),
                                              "ID   reading\nLN   found.scf\nLT   SCF\n");
    const std::vector<std::string> searchPaths = {elsewhere.path(), "URL=http://127.0.0.1:9/%s",
                                                  elsewhere.path() + ":URL=http://127.0.0.1:9/%s"};
    for (const std::string& searchPath : searchPaths) {
        SearchPathEnvironment env(searchPath);
        for (const std::string& missing : {here.file("found.scf"), std::string("found.scf"),
                                           here.file("found"), elsewhere.file("found.scf.gz")}) {
            EXPECT_EQ(TraceFile::Unknown, TraceFile::getFormat(missing.c_str())) << missing;
            EXPECT_FALSE(TraceFile().read(missing.c_str(), nullptr)) << missing;
        }
        EXPECT_FALSE(TraceFile().read(exp.c_str(), nullptr)) << searchPath;
        // What is at the path is still read.
        EXPECT_TRUE(TraceFile().read(elsewhere.file("found.scf").c_str(), nullptr));
    }
}

TEST(TraceFileSearchPaths, AnExperimentLinkIsTheFileBesideIt) {
    // The decoder looks for a linked trace on its search path and in the current folder before
    // the experiment file's own folder; a file of the same name there must not be taken.
    mftest::TempDir elsewhere;
    mftest::TempDir here;
    ReadPtr decoy = tracetest::makeRead(100, 10);
    ReadPtr beside = tracetest::makeRead(250, 25);
    ASSERT_TRUE(tracetest::writeRead(*decoy, elsewhere.file("linked.scf"), TT_SCF));
    ASSERT_TRUE(tracetest::writeRead(*beside, here.file("linked.scf"), TT_SCF));
    const std::string exp = mftest::writeFile(here.file("reading.exp"),
                                              "ID   reading\nLN   linked.scf\nLT   SCF\n");
    SearchPathEnvironment env(elsewhere.path());
    const auto data = TraceFile().read(exp.c_str(), nullptr);
    ASSERT_TRUE(data);
    EXPECT_EQ(250u, data->numPoints());
}

TEST(TraceFileSearchPaths, CompressedVariantsBesideAMissingFileAreIgnored) {
    mftest::TempDir dir;
    ReadPtr written = tracetest::makeRead(100, 10);
    // The decoder would also try the name with .gz, .bz2, .Z and .sz appended.
    ASSERT_TRUE(tracetest::writeRead(*written, dir.file("trace.scf.gz"), TT_SCF));
    EXPECT_FALSE(TraceFile().read(dir.file("trace.scf").c_str(), nullptr));
    EXPECT_EQ(TraceFile::Unknown, TraceFile::getFormat(dir.file("trace.scf").c_str()));
}

TEST(TraceFilePlainText, ThatCrashesThePlainReaderIsRefusedUnread) {
    // 600 bytes of bases whose last line opens a ";<" clip line and ends without a newline: the
    // decoder's plain reader writes past its buffer looking for the end of that line.
    std::string text;
    while (text.size() < 560)
        text += "ACGGTCATTGCAGTCCATGAGTACGGATCGATCGGATTACAGGATCCAGTAGCATGCAA\n";
    text.resize(560);
    text += ";<";
    while (text.size() < 600)
        text += "ACGT";
    text.resize(600);
    mftest::TempDir dir;
    const std::string path = mftest::writeFile(dir.file("clip.txt"), text);
    EXPECT_EQ(TraceFile::Unknown, TraceFile::getFormat(path.c_str()));
    EXPECT_FALSE(TraceFile().read(path.c_str(), nullptr));
}

// Text that merely starts with a chromatogram's magic is no chromatogram: the binary kinds always
// hold NUL bytes in their headers. The real thing, written by the decoder's own writer, is.
TEST(TraceFilePlainText, ThatStartsWithAMagicIsNoChromatogram) {
    mftest::TempDir dir;
    const std::string filler(300, 'x');
    for (const std::string& text : {".scf" + filler, "ABIF" + filler, "\xAEZTR\r\n\x1A\n\x01\x02" + filler,
                                    std::string(128, 'M') + "ABIF" + filler}) {
        const std::string path = mftest::writeFile(dir.file("magic.dat"), text);
        EXPECT_EQ(TraceFile::Unknown, TraceFile::getFormat(path.c_str())) << text.substr(0, 8);
        EXPECT_FALSE(TraceFile().read(path.c_str(), nullptr));
    }
    const std::string scf = dir.file("real.dat");
    mftest::writeTrace(scf, mftest::TraceKind::SCF);
    EXPECT_EQ(TraceFile::SCF, TraceFile::getFormat(scf.c_str()));
    const std::string ztr = dir.file("real2.dat");
    mftest::writeTrace(ztr, mftest::TraceKind::ZTR);
    EXPECT_EQ(TraceFile::ZTR, TraceFile::getFormat(ztr.c_str()));
}

TEST(TraceFileExperimentLinks, ThatCannotGiveATraceAreRefused) {
    mftest::TempDir dir;
    ReadPtr written = tracetest::makeRead(100, 10);
    ASSERT_TRUE(tracetest::writeRead(*written, dir.file("linked.scf"), TT_SCF));
    mftest::writeFile(dir.file("plain.txt"), "ACGTACGTACGTACGTAAACCCGGGTTT\n");
    struct Case {
        const char* name;
        const char* text;
    };
    const Case cases[] = {
        {"self.exp", "ID   self\nLN   self.exp\n"},              // would recurse without end
        {"loop-a.exp", "ID   a\nLN   loop-b.exp\n"},            // two files linking each other
        {"loop-b.exp", "ID   b\nLN   loop-a.exp\n"},
        {"wrongtype.exp", "ID   w\nLN   linked.scf\nLT   PLN\n"}, // decoded as text
        {"abitype.exp", "ID   w\nLN   linked.scf\nLT   ABI\n"},
        {"plain.exp", "ID   p\nLN   plain.txt\n"},
        {"missing.exp", "ID   m\nLN   nowhere.scf\n"},
        {"folder.exp", "ID   f\nLN   .\n"},
        {"nolink.exp", "ID   n\nSQ\n     ACGTACGTAC\n//\n"},
    };
    for (const Case& c : cases)
        mftest::writeFile(dir.file(c.name), c.text);
    for (const Case& c : cases)
        EXPECT_FALSE(TraceFile().read(dir.file(c.name).c_str(), nullptr)) << c.name;
    EXPECT_EQ(TraceFile::Unknown, TraceFile::getFormat(dir.file("nolink.exp").c_str()));

    // A link further in than the signature is still found, within the first 8 KB.
    std::string comments;
    while (comments.size() < 3000)
        comments += "CC   a comment line that pushes the link further into the file\n";
    mftest::writeFile(dir.file("late.exp"), "ID   late\n" + comments + "LN   linked.scf\n");
    EXPECT_EQ(TraceFile::EXP, TraceFile::getFormat(dir.file("late.exp").c_str()));
    EXPECT_TRUE(TraceFile().read(dir.file("late.exp").c_str(), nullptr));

    // An absolute link and a link through a sub-folder are followed.
    ::mkdir(dir.file("sub").c_str(), 0700);
    ASSERT_TRUE(tracetest::writeRead(*written, dir.file("sub/deep.scf"), TT_SCF));
    mftest::writeFile(dir.file("absolute.exp"), "ID   a\nLN   " + dir.file("linked.scf") + "\nLT   SCF\n");
    mftest::writeFile(dir.file("relative.exp"), "ID   r\nLN   sub/deep.scf\n");
    EXPECT_TRUE(TraceFile().read(dir.file("absolute.exp").c_str(), nullptr));
    EXPECT_TRUE(TraceFile().read(dir.file("relative.exp").c_str(), nullptr));
}

// The record of an experiment file is its linked trace's with the file's own lines laid over it
// (clip points, the edited sequence and its confidences): what the decoder itself makes of it.
TEST(TraceFileExperimentLinks, GiveWhatTheDecoderGives) {
    mftest::TempDir dir;
    ReadPtr written = tracetest::makeRead(200, 14);
    ASSERT_TRUE(tracetest::writeRead(*written, dir.file("linked.scf"), TT_SCF));
    ASSERT_TRUE(tracetest::writeRead(*written, dir.file("linked.ztr"), TT_ZTR));
    const std::string edited = "SQ\n     ACGTNacgtR YACG\n//\n";
    const std::string cases[] = {
        "ID   plain\nLN   linked.scf\n",
        "ID   typed\nLN   linked.ztr\nLT   ZTR1\nQL   3\nQR   9\n",
        "ID   clips\nLN   linked.scf\nQL   2\nSL   4\nQR   10\nSR   8\n", // the inner of each pair
        "ID   crossed\nLN   linked.scf\nQL   6\nSR   3\n",               // right moves past left
        "ID   edited\nLN   linked.scf\nQL   1\n" + edited,
        "ID   rated\nLN   linked.scf\nAV   10 20 30 40 50 11 21 31 41 51 12 22 32 42\n" + edited,
    };
    for (const std::string& text : cases) {
        const std::string path = mftest::writeFile(dir.file("reading.exp"), text);
        const auto data = TraceFile().read(path.c_str(), nullptr);
        ReadPtr direct = tracetest::decodeDirectly(path);
        ASSERT_TRUE(direct && data) << text;
        EXPECT_EQ("exp", data->formatName());
        tracetest::expectSameRecord(*direct, *data);
    }
    // Confidences that run out leave the remaining bases at 0 (the decoder leaves them undefined).
    const std::string shortAv = mftest::writeFile(dir.file("short.exp"), "ID   s\nLN   linked.scf\nAV   7 8\n" + edited);
    const auto data = TraceFile().read(shortAv.c_str(), nullptr);
    ASSERT_TRUE(data);
    EXPECT_EQ(std::vector<unsigned char>({7, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), data->probs(0));
    EXPECT_EQ(std::vector<unsigned char>({0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), data->probs(1));
}

// The linked trace is read once, checked, and decoded from those bytes: a file swapped in after
// the check can never reach the decoder, because nothing opens it again.
TEST(TraceFileExperimentLinks, TheLinkedTraceIsOpenedOnce) {
    mftest::TempDir dir;
    mftest::writeTrace(dir.file("linked.scf"), mftest::TraceKind::SCF);
    const std::string exp = mftest::writeFile(dir.file("reading.exp"), "ID   r\nLN   linked.scf\n");
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    // Closes are watched too: the kernel folds an event into an identical one still unread.
    ASSERT_GE(::inotify_add_watch(watch, dir.path().c_str(), IN_OPEN | IN_CLOSE_NOWRITE), 0);
    ASSERT_TRUE(TraceFile().read(exp.c_str(), nullptr));
    std::map<std::string, int> opened;
    alignas(inotify_event) char buffer[16384];
    for (ssize_t got; (got = ::read(watch, buffer, sizeof buffer)) > 0;)
        for (char* at = buffer; at < buffer + got; at += sizeof(inotify_event) + reinterpret_cast<inotify_event*>(at)->len) {
            const inotify_event* event = reinterpret_cast<const inotify_event*>(at);
            opened[event->len ? event->name : ""] += (event->mask & IN_OPEN) ? 1 : 0;
        }
    ::close(watch);
    EXPECT_EQ(1, opened["linked.scf"]);
    EXPECT_EQ(1, opened["reading.exp"]);
}

// Reading experiment files leaves no open file or mapping behind (the linked trace is large
// enough that a leaked copy of it would be a mapping of its own).
TEST(TraceFileExperimentLinks, LeaveNoDescriptorOrMappingBehind) {
    mftest::TempDir dir;
    mftest::TraceSample sample;
    sample.points = 30000;
    sample.bases = std::string(600, 'A');
    mftest::writeTrace(dir.file("large.scf"), mftest::TraceKind::SCF, sample);
    const std::string exp = mftest::writeFile(dir.file("large.exp"), "ID   r\nLN   large.scf\nLT   SCF\n");
    auto descriptors = [] { return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}); };
    auto mappings = [] { const std::string maps = mftest::readFile("/proc/self/maps"); return std::count(maps.begin(), maps.end(), '\n'); };
    ASSERT_TRUE(TraceFile().read(exp.c_str(), nullptr));
    const auto descriptorsBefore = descriptors();
    const auto mappingsBefore = mappings();
    const int reads = 2000;
    for (int i = 0; i < reads; ++i)
        ASSERT_TRUE(TraceFile().read(exp.c_str(), nullptr)) << i;
    EXPECT_EQ(descriptorsBefore, descriptors());
    // The allocator maps regions of its own now and then (more so under a sanitizer); a leak
    // would add one a read.
    EXPECT_LT(mappings(), mappingsBefore + reads / 20);
}

TEST(TraceFileSpecialFiles, AreNotWaitedOn) {
    mftest::TempDir dir;
    const std::string fifo = dir.file("pipe.scf");
    ASSERT_EQ(0, ::mkfifo(fifo.c_str(), 0600));
    EXPECT_EQ(TraceFile::Unknown, TraceFile::getFormat(fifo.c_str()));
    EXPECT_FALSE(TraceFile().read(fifo.c_str(), nullptr));
}

TEST(TraceFileThreads, ReadingAtOnceGivesWhatReadingInTurnGives) {
    mftest::TempDir dir;
    std::vector<std::string> paths;
    const int formats[] = {TT_SCF, TT_ZTR, TT_ZTR1, TT_ZTR3};
    for (int i = 0; i < 8; ++i) {
        ReadPtr written = tracetest::makeRead(200 + 37 * i, 20 + 3 * i);
        paths.push_back(dir.file("t" + std::to_string(i) + ".trace"));
        ASSERT_TRUE(tracetest::writeRead(*written, paths.back(), formats[i % 4]));
    }
    if (!mftest::testdataDir().empty())
        for (const char* real : {"traces/310.ab1", "traces/3730.ab1", "traces/GBKAK82TF.scf",
                                 "traces/GBKAK82TF.ztr", "traces/310.exp", "traces/310.pln"})
            paths.push_back(mftest::testdataFile(real));

    std::vector<boost::shared_ptr<Velm::TraceData>> serial;
    for (const std::string& path : paths)
        serial.push_back(TraceFile().read(path.c_str(), nullptr));

    const unsigned threadCount = 4;
    const int rounds = 3;
    std::vector<std::vector<boost::shared_ptr<Velm::TraceData>>> results(threadCount);
    std::vector<std::vector<int>> formatsSeen(threadCount);
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < threadCount; ++t)
        threads.emplace_back([&, t] {
            for (int round = 0; round < rounds; ++round)
                for (std::size_t i = 0; i < paths.size(); ++i) {
                    // Each thread starts at a different file, so different files are decoded at once.
                    const std::string& path = paths[(i + t * 3) % paths.size()];
                    results[t].push_back(TraceFile().read(path.c_str(), nullptr));
                    formatsSeen[t].push_back(TraceFile::getFormat(path.c_str()));
                }
        });
    for (auto& thread : threads)
        thread.join();

    for (unsigned t = 0; t < threadCount; ++t) {
        ASSERT_EQ(paths.size() * rounds, results[t].size());
        for (std::size_t k = 0; k < results[t].size(); ++k) {
            const std::size_t i = (k % paths.size() + t * 3) % paths.size();
            const auto& got = results[t][k];
            const auto& want = serial[i];
            SCOPED_TRACE(paths[i]);
            EXPECT_EQ(TraceFile::getFormat(paths[i].c_str()), formatsSeen[t][k]);
            ASSERT_EQ(static_cast<bool>(want), static_cast<bool>(got));
            if (!want)
                continue;
            EXPECT_EQ(want->bases(), got->bases());
            EXPECT_EQ(want->basePos(), got->basePos());
            EXPECT_EQ(want->formatName(), got->formatName());
            EXPECT_EQ(want->info(), got->info());
            EXPECT_EQ(want->leftCutoff, got->leftCutoff);
            EXPECT_EQ(want->rightCutoff, got->rightCutoff);
            EXPECT_EQ(want->maxTraceVal, got->maxTraceVal);
            for (unsigned c = 0; c < 4; ++c) {
                EXPECT_EQ(want->channel(c), got->channel(c));
                EXPECT_EQ(want->probs(c), got->probs(c));
            }
        }
    }
}

} // namespace

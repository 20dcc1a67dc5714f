// Costs of the chromatogram reader against the bare decoder.
//
//   TraceFileRead vs DecoderFloor: Ovik::TraceFile::read plus destroying its record, against a bare
//     read_reading + read_deallocate, over the real ABI, SCF and ZTR samples (one iteration reads
//     them all). Target: at most 1.10 times the floor.
//   GetFormat/Large vs GetFormat/Small: detection on a generated FASTA file of
//     $MF_BENCH_FASTA_MB megabytes (default 500) and on a 2 KB one. Target: ratio under 2.
//   ReadLargeFasta: read on the large FASTA. Target: well under a second; run it alone under
//     /usr/bin/time -v (--benchmark_filter=ReadLargeFasta) for its peak memory (under 50 MB).
//
// Sample files come from $MODELFACTORY_TESTDATA, else the checkout's tests/data.

#include <trace/IoLibLock.h>
#include <trace/TraceFile.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include <io_lib/Read.h>

namespace {

std::string testdataDir() {
    const char* env = std::getenv("MODELFACTORY_TESTDATA");
    return env && *env ? env : MF_DEFAULT_TESTDATA;
}

const std::vector<std::string>& realTraces() {
    static const std::vector<std::string> files = [] {
        std::vector<std::string> found;
        for (const char* name :
             {"310.ab1", "3100.ab1", "3730.ab1", "5565810.ab1", "SDBHD01T00PB1A1672F.ab1",
              "GBKAK82TF.scf", "version2.scf", "version3.scf", "chad100.scf", "310.scf", "310_v2.scf",
              "GBKAK82TF.ztr", "SDBHD01T00PB1A1672F.ztr", "310.ztr"}) {
            const std::string path = testdataDir() + "/traces/" + name;
            struct stat st;
            if (::stat(path.c_str(), &st) == 0)
                found.push_back(path);
        }
        return found;
    }();
    return files;
}

/// Generated FASTA files in a private folder, removed at exit.
class GeneratedFiles {
public:
    GeneratedFiles() {
        char pattern[] = "/tmp/mf-trace-bench-XXXXXX";
        if (::mkdtemp(pattern))
            dir_ = pattern;
        const char* mb = std::getenv("MF_BENCH_FASTA_MB");
        const long megabytes = mb && std::atol(mb) > 0 ? std::atol(mb) : 500;
        large_ = writeFasta("large.fasta", static_cast<std::size_t>(megabytes) << 20);
        small_ = writeFasta("small.fasta", 2048);
    }
    ~GeneratedFiles() {
        std::remove(large_.c_str());
        std::remove(small_.c_str());
        ::rmdir(dir_.c_str());
    }
    const std::string& large() const { return large_; }
    const std::string& small() const { return small_; }

private:
    std::string writeFasta(const char* name, std::size_t bytes) {
        const std::string path = dir_ + "/" + name;
        std::FILE* out = std::fopen(path.c_str(), "wb");
        if (!out)
            return path;
        std::string line = ">generated sequence\n";
        std::fwrite(line.data(), 1, line.size(), out);
        std::size_t written = line.size();
        static const char bases[] = "ACGT";
        std::string block;
        for (int row = 0; row < 1024; ++row) {
            for (int i = 0; i < 60; ++i)
                block += bases[(row * 7 + i * 13 + (i * i) / 3) % 4];
            block += '\n';
        }
        while (written < bytes) {
            const std::size_t chunk = bytes - written < block.size() ? bytes - written : block.size();
            std::fwrite(block.data(), 1, chunk, out);
            written += chunk;
        }
        std::fclose(out);
        return path;
    }

    std::string dir_;
    std::string large_;
    std::string small_;
};

const GeneratedFiles& generated() {
    static const GeneratedFiles files;
    return files;
}

void TraceFileRead(benchmark::State& state) {
    const auto& files = realTraces();
    if (files.empty()) {
        state.SkipWithError("no sample chromatograms");
        return;
    }
    Ovik::TraceFile reader;
    for (auto _ : state)
        for (const std::string& path : files) {
            auto data = reader.read(path.c_str(), nullptr);
            benchmark::DoNotOptimize(data.get());
        }
    state.SetItemsProcessed(state.iterations() * static_cast<long>(files.size()));
}

void DecoderFloor(benchmark::State& state) {
    const auto& files = realTraces();
    if (files.empty()) {
        state.SkipWithError("no sample chromatograms");
        return;
    }
    std::vector<std::vector<char>> names;
    for (const std::string& path : files)
        names.emplace_back(path.c_str(), path.c_str() + path.size() + 1);
    for (auto _ : state)
        for (auto& name : names) {
            // Held like the reader holds it, so that both sides pay for the lock.
            std::lock_guard<std::mutex> lock(Ovik::detail::ioLibMutex());
            Read* read = read_reading(name.data(), TT_ANY);
            benchmark::DoNotOptimize(read);
            if (read)
                read_deallocate(read);
        }
    state.SetItemsProcessed(state.iterations() * static_cast<long>(files.size()));
}

void GetFormat(benchmark::State& state) {
    const std::string& path = state.range(0) ? generated().large() : generated().small();
    for (auto _ : state)
        benchmark::DoNotOptimize(Ovik::TraceFile::getFormat(path.c_str()));
}

void ReadLargeFasta(benchmark::State& state) {
    const std::string& path = generated().large();
    Ovik::TraceFile reader;
    for (auto _ : state) {
        auto data = reader.read(path.c_str(), nullptr);
        if (data)
            state.SkipWithError("a FASTA file was read as a chromatogram");
        benchmark::DoNotOptimize(data.get());
    }
}

} // namespace

BENCHMARK(TraceFileRead)->Unit(benchmark::kMillisecond);
BENCHMARK(DecoderFloor)->Unit(benchmark::kMillisecond);
BENCHMARK(TraceFileRead)->Unit(benchmark::kMillisecond)->Name("TraceFileRead/again");
BENCHMARK(DecoderFloor)->Unit(benchmark::kMillisecond)->Name("DecoderFloor/again");
BENCHMARK(GetFormat)->Arg(0)->Arg(1)->ArgName("large")->Unit(benchmark::kMicrosecond);
BENCHMARK(ReadLargeFasta)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();

// Reading throughput and memory of the sequence-archive layer on generated data:
// a 200 MB multi-FASTA and a 100 MB multi-record GenBank file with features.
// MF_BENCH_SEQ_MB scales both files (default 200 and 100).
#include <contracts/SeqArchive.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

// Deterministic pseudo-random numbers, so every run reads the same files.
struct Lcg {
    unsigned long long state = 20240601ULL;
    unsigned next() {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<unsigned>(state >> 33);
    }
};

std::size_t scaledMb(std::size_t defaultMb) {
    const char* env = std::getenv("MF_BENCH_SEQ_MB");
    if (!env)
        return defaultMb;
    return std::max<std::size_t>(1, std::strtoul(env, nullptr, 10) * defaultMb / 200);
}

std::string tempName(const char* stem) {
    return "/tmp/mf_bench_" + std::to_string(::getpid()) + "_" + stem;
}

struct GeneratedFile {
    std::string path;
    std::size_t bytes = 0;
    std::size_t residues = 0;
    ~GeneratedFile() {
        if (!path.empty())
            std::remove(path.c_str());
    }
};

const GeneratedFile& fastaFile() {
    static GeneratedFile file;
    if (!file.path.empty())
        return file;
    file.path = tempName("reads.fa");
    std::FILE* out = std::fopen(file.path.c_str(), "wb");
    const std::size_t target = scaledMb(200) << 20;
    Lcg rng;
    std::string line;
    for (std::size_t entry = 0; file.bytes < target; ++entry) {
        std::size_t length = 500 + rng.next() % 20000;
        std::string header = ">read" + std::to_string(entry) + " generated entry of " + std::to_string(length) + " bp\n";
        std::fwrite(header.data(), 1, header.size(), out);
        file.bytes += header.size();
        for (std::size_t pos = 0; pos < length; pos += 60) {
            std::size_t n = std::min<std::size_t>(60, length - pos);
            line.assign(n, 'A');
            for (std::size_t i = 0; i < n; ++i)
                line[i] = "ACGT"[rng.next() & 3];
            line += '\n';
            std::fwrite(line.data(), 1, line.size(), out);
            file.bytes += line.size();
        }
        file.residues += length;
    }
    std::fclose(out);
    return file;
}

const GeneratedFile& genbankFile() {
    static GeneratedFile file;
    if (!file.path.empty())
        return file;
    file.path = tempName("records.gb");
    std::FILE* out = std::fopen(file.path.c_str(), "wb");
    const std::size_t target = scaledMb(100) << 20;
    Lcg rng;
    std::string rec;
    char buf[128];
    for (std::size_t entry = 0; file.bytes < target; ++entry) {
        std::size_t length = 2000 + rng.next() % 30000;
        rec.clear();
        std::snprintf(buf, sizeof buf, "LOCUS       REC%-13zu %11zu bp    DNA     linear   BCT 01-JAN-2020\n", entry, length);
        rec += buf;
        rec += "DEFINITION  Generated record " + std::to_string(entry) + " for the reading benchmark,\n"
               "            with a definition that takes two lines.\n";
        rec += "ACCESSION   GEN" + std::to_string(entry) + "\nVERSION     GEN" + std::to_string(entry) + ".1\n";
        rec += "KEYWORDS    .\nSOURCE      synthetic construct\n  ORGANISM  synthetic construct\n"
               "            other sequences; artificial sequences.\n";
        rec += "FEATURES             Location/Qualifiers\n     source          1.." + std::to_string(length) +
               "\n                     /organism=\"synthetic construct\"\n                     /mol_type=\"genomic DNA\"\n";
        for (std::size_t start = 1; start + 600 < length; start += 900) {
            std::snprintf(buf, sizeof buf, "     gene            %zu..%zu\n", start, start + 599);
            rec += buf;
            rec += "                     /gene=\"g" + std::to_string(start) + "\"\n";
            std::snprintf(buf, sizeof buf, "     CDS             join(%zu..%zu,%zu..%zu)\n", start, start + 299, start + 350, start + 599);
            rec += buf;
            rec += "                     /gene=\"g" + std::to_string(start) + "\"\n"
                   "                     /note=\"a generated coding sequence whose note is long enough\n"
                   "                     to continue on a second line\"\n"
                   "                     /codon_start=1\n"
                   "                     /translation=\"MKVLAWGHSTREDQNPYFCIMKVLAWGHSTREDQNPYFCIMKVLAWGHST\n"
                   "                     REDQNPYFCIMKVLAWGHSTREDQNPYFCI\"\n";
        }
        rec += "ORIGIN\n";
        for (std::size_t pos = 0; pos < length; pos += 60) {
            std::snprintf(buf, sizeof buf, "%9zu", pos + 1);
            rec += buf;
            for (std::size_t b = pos; b < pos + 60 && b < length; b += 10) {
                rec += ' ';
                for (std::size_t i = b; i < b + 10 && i < length; ++i)
                    rec += "acgt"[rng.next() & 3];
            }
            rec += '\n';
        }
        rec += "//\n";
        std::fwrite(rec.data(), 1, rec.size(), out);
        file.bytes += rec.size();
        file.residues += length;
    }
    std::fclose(out);
    return file;
}

// Peak resident memory since the last reset, in MiB (Linux: clear_refs 5 resets VmHWM).
void resetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}
double statusMiB(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.compare(0, std::strlen(field), field) == 0)
            return std::strtod(line.c_str() + std::strlen(field) + 1, nullptr) / 1024.0;
    return 0;
}

void iterate(benchmark::State& state, const GeneratedFile& file) {
    std::size_t entries = 0, residues = 0;
    double peak = 0, base = 0;
    for (auto _ : state) {
        resetPeak();
        base = statusMiB("VmRSS:");
        Ovik::ISeqArchive archive(file.path, "", "");
        while (!archive.atEnd()) {
            boost::shared_ptr<Velm::Sequence> seq = Ovik::createSequence(archive);
            residues += seq->length();
            ++entries;
            benchmark::DoNotOptimize(seq.get());
        }
        peak = std::max(peak, statusMiB("VmHWM:"));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.bytes));
    state.counters["entries"] = static_cast<double>(entries / state.iterations());
    state.counters["file_MB"] = static_cast<double>(file.bytes) / 1e6;
    state.counters["peak_RSS_MiB"] = peak;
    state.counters["peak_over_start_MiB"] = peak - base;
}

void BM_ReadFasta(benchmark::State& state) { iterate(state, fastaFile()); }
void BM_ReadGenBank(benchmark::State& state) { iterate(state, genbankFile()); }

void BM_IterateFastaModels(benchmark::State& state) {
    const GeneratedFile& file = fastaFile();
    double peak = 0;
    for (auto _ : state) {
        resetPeak();
        Ovik::SALArchiveModelIter iter(file.path.c_str(), nullptr, nullptr, "");
        while (boost::shared_ptr<Velm::Model> model = iter.next())
            benchmark::DoNotOptimize(model.get());
        peak = std::max(peak, statusMiB("VmHWM:"));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.bytes));
    state.counters["peak_RSS_MiB"] = peak;
}

void BM_LoadFastaIntoOneModel(benchmark::State& state) {
    const GeneratedFile& file = fastaFile();
    double ratio = 0;
    for (auto _ : state) {
        double before = statusMiB("VmRSS:");
        std::unique_ptr<Velm::SeqModel> model(new Velm::SeqModel);
        Ovik::ISeqArchive archive(file.path, "", "");
        while (!archive.atEnd())
            model->addSeq(Ovik::createSequence(archive));
        double after = statusMiB("VmRSS:");
        ratio = (after - before) * 1024.0 * 1024.0 / static_cast<double>(file.residues);
        benchmark::DoNotOptimize(model.get());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.bytes));
    state.counters["model_RSS_over_residues"] = ratio;
}

void BM_GetFileFormat(benchmark::State& state) {
    const GeneratedFile& file = genbankFile();
    for (auto _ : state)
        benchmark::DoNotOptimize(Ovik::SeqArchive::GetFileFormat(file.path));
}

BENCHMARK(BM_ReadFasta)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ReadGenBank)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_IterateFastaModels)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_LoadFastaIntoOneModel)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_GetFileFormat)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();

// Detection costs: a path whose extension is in the table must cost one stat and a table lookup
// (no file opened); a huge file with an unknown extension must be judged from a few KiB.
#include <factory/ModelFactory.h>

#include <contracts/AlignFormats.h>
#include <contracts/SeqArchive.h>
#include <contracts/XmlSource.h>

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

// Opens made by this process, counted by interposing the C library's entry points here: the
// benchmark links the factory statically, so every open it makes passes through these.
std::atomic<long> g_opens{0};

template <class F>
F next(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

long readBytesSoFar() {
    std::ifstream io("/proc/self/io");
    std::string key;
    long value = 0;
    while (io >> key >> value)
        if (key == "rchar:")
            return value;
    return 0;
}

std::string scratch(const std::string& name) {
    static const std::string dir = [] {
        char tmpl[] = "/tmp/mf-detect-XXXXXX";
        return std::string(mkdtemp(tmpl));
    }();
    return dir + "/" + name;
}

std::string knownExtensionFile() {
    const std::string path = scratch("reads.fa");
    std::ofstream(path) << ">r1\nACGT\n";
    return path;
}

// 500 MB: a real FASTA start, the rest a hole that costs no disk.
std::string hugeUnknownFile() {
    const std::string path = scratch("huge.dat");
    {
        std::ofstream out(path);
        for (int i = 0; i < 20000; ++i)
            out << ">read" << i << "\nACGTACGTACGTACGTACGTACGTACGTACGTACGTACGTACGTACGTACGTACGTACGT\n";
    }
    if (truncate(path.c_str(), 500L * 1000 * 1000) != 0)
        std::abort();
    return path;
}

std::string smallUnknownFile() {
    const std::string path = scratch("small.dat");
    std::ofstream out(path);
    for (int i = 0; i < 30; ++i)
        out << ">read" << i << "\nACGTACGTACGTACGTACGTACGTACGTACGTACGTACGTACGTACGTACGT\n";
    return path;
}

void report(benchmark::State& state, long opens, long bytes) {
    const double n = static_cast<double>(state.iterations());
    state.counters["opens_per_call"] = static_cast<double>(opens) / n;
    state.counters["bytes_read_per_call"] = static_cast<double>(bytes) / n;
}

// The registered sources are asked first and judge files by their content; with them removed,
// what is left is the factory's own cost.
template <class Source>
void removeBuiltIn(Ovik::ModelFactory& factory) {
    factory.removeSource(Source().getName());
}

void BM_GetTypeKnownExtension(benchmark::State& state) {
    const std::string path = knownExtensionFile();
    Ovik::ModelFactory& factory = Ovik::GetModelFactory();
    if (state.range(0) == 0) {
        removeBuiltIn<Velm::XMLModelSource>(factory);
        removeBuiltIn<Ovik::MSFModelSource>(factory);
        removeBuiltIn<Ovik::NexusModelSource>(factory);
        removeBuiltIn<Ovik::PHYModelSource>(factory);
        removeBuiltIn<Ovik::MMSAModelSource>(factory);
        removeBuiltIn<Ovik::FastqModelSource>(factory);
        factory.removeSource("ZCompressedFileSource");
    }
    const long opens = g_opens, bytes = readBytesSoFar();
    for (auto _ : state)
        benchmark::DoNotOptimize(factory.getType(path.c_str()));
    report(state, g_opens - opens, readBytesSoFar() - bytes);
    state.SetLabel(state.range(0) ? "with the built-in sources" : "no sources");
}
// With the sources first: benchmarks run in order, and the second one removes them.
BENCHMARK(BM_GetTypeKnownExtension)->Arg(1)->Arg(0);

void BM_GetTypeUnknownExtension(benchmark::State& state) {
    const std::string path = state.range(0) ? hugeUnknownFile() : smallUnknownFile();
    Ovik::ModelFactory& factory = Ovik::GetModelFactory();
    const long opens = g_opens, bytes = readBytesSoFar();
    for (auto _ : state)
        benchmark::DoNotOptimize(factory.getType(path.c_str()));
    report(state, g_opens - opens, readBytesSoFar() - bytes);
    state.SetLabel(state.range(0) ? "500 MB file" : "2 KB file");
}
BENCHMARK(BM_GetTypeUnknownExtension)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

} // namespace

extern "C" {

int open(const char* path, int flags, ...) {
    ++g_opens;
    va_list args;
    va_start(args, flags);
    const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? va_arg(args, mode_t) : 0;
    va_end(args);
    static auto real = next<int (*)(const char*, int, ...)>("open");
    return real(path, flags, mode);
}

int open64(const char* path, int flags, ...) {
    ++g_opens;
    va_list args;
    va_start(args, flags);
    const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? va_arg(args, mode_t) : 0;
    va_end(args);
    static auto real = next<int (*)(const char*, int, ...)>("open64");
    return real(path, flags, mode);
}

FILE* fopen(const char* path, const char* mode) {
    ++g_opens;
    static auto real = next<FILE* (*)(const char*, const char*)>("fopen");
    return real(path, mode);
}

FILE* fopen64(const char* path, const char* mode) {
    ++g_opens;
    static auto real = next<FILE* (*)(const char*, const char*)>("fopen64");
    return real(path, mode);
}

} // extern "C"

BENCHMARK_MAIN();

// Whole-process workloads for scripts/bench.sh, one per command, so that they can be timed and their
// peak memory taken side by side with the peer programs (/usr/bin/time around each run).
//
//   read FILE         every entry of an archive read into a sequence (ISeqArchive, createSequence)
//   load FILE         the whole file opened as one sequence model through the factory; prints the
//                     model's resident memory over the residue bytes
//   traces DIR...     Ovik::TraceFile::read on every file of the folders
//   iolib DIR...      the bare decoder: read_reading + read_deallocate on the same files
//   gettype DIR       ModelFactory::getType on every file of the folder
//   gettype-own DIR   the same with the built-in format sources removed: the factory's own layers
//                     (extension table, chromatogram sniffing, archive probe) alone
//   stat DIR          stat on every file of the folder (the floor for gettype)
//   head DIR          stat, open, read of the first 32 KiB and close on every file: the floor for
//                     any detection that looks at content
//
// Each prints one line of key=value pairs; "seconds" is the time of the loop alone (the file list
// is gathered before the clock starts).
#include <contracts/SeqArchive.h>
#include <factory/Extensions.h>
#include <factory/ModelFactory.h>
#include <trace/TraceFile.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <io_lib/Read.h>

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double residentBytes() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.compare(0, 6, "VmRSS:") == 0)
            return std::strtod(line.c_str() + 6, nullptr) * 1024.0;
    return 0;
}

std::vector<std::string> filesOf(int argc, char** argv, int first) {
    std::vector<std::string> files;
    for (int i = first; i < argc; ++i) {
        DIR* dir = ::opendir(argv[i]);
        if (!dir)
            continue;
        while (dirent* e = ::readdir(dir))
            if (e->d_name[0] != '.')
                files.push_back(std::string(argv[i]) + "/" + e->d_name);
        ::closedir(dir);
    }
    std::sort(files.begin(), files.end());
    return files;
}

int readArchive(const char* path) {
    auto start = Clock::now();
    std::size_t entries = 0, residues = 0, features = 0;
    Ovik::ISeqArchive archive(path, "", "");
    while (!archive.atEnd()) {
        boost::shared_ptr<const Velm::Sequence> seq = Ovik::createSequence(archive);
        residues += seq->length();
        features += seq->features().size();
        ++entries;
    }
    std::printf("seconds=%.6f entries=%zu residues=%zu features=%zu\n", secondsSince(start), entries,
                residues, features);
    return 0;
}

int loadWhole(const char* path) {
    const double before = residentBytes();
    auto start = Clock::now();
    // With the sources the tool and the Python module add (FASTQ among them), as they load.
    static const bool extended = (Ovik::addExtensionSources(Ovik::GetModelFactory()), true);
    (void)extended;
    boost::shared_ptr<Velm::Model> model = Ovik::GetModelFactory().open(path, nullptr);
    const double seconds = secondsSince(start);
    auto* bio = dynamic_cast<Velm::BioModel*>(model.get());
    if (!bio) {
        std::fprintf(stderr, "load: nothing read from %s\n", path);
        return 1;
    }
    // What the model holds of its own: residues, and the qualities of reads that have them.
    std::size_t residues = 0, qualities = 0;
    for (const auto& seq : bio->sequences()) {
        residues += seq->length();
        if (const auto* na = dynamic_cast<const Velm::NASequence*>(seq.get()))
            qualities += na->confidences().size();
    }
    const double after = residentBytes();
    const double grown = after - before;
    std::printf("seconds=%.6f entries=%zu residues=%zu qualities=%zu model_bytes=%.0f ratio=%.4f "
                "text_ratio=%.4f per_entry=%.1f\n",
                seconds, bio->sequences().size(), residues, qualities, grown,
                residues ? grown / static_cast<double>(residues) : 0.0,
                residues + qualities ? grown / static_cast<double>(residues + qualities) : 0.0,
                bio->sequences().empty() ? 0.0 : grown / static_cast<double>(bio->sequences().size()));
    return 0;
}

int readTraces(const std::vector<std::string>& files, bool bare) {
    Ovik::TraceFile reader;
    std::vector<std::vector<char>> names;
    for (const std::string& f : files)
        names.emplace_back(f.c_str(), f.c_str() + f.size() + 1);
    std::size_t ok = 0, bases = 0;
    auto start = Clock::now();
    if (bare) {
        for (auto& name : names) {
            Read* read = read_reading(name.data(), TT_ANY);
            if (read) {
                ++ok;
                bases += static_cast<std::size_t>(read->NBases);
                read_deallocate(read);
            }
        }
    } else {
        for (const std::string& f : files) {
            boost::shared_ptr<Velm::TraceData> data = reader.read(f.c_str(), nullptr);
            if (data) {
                ++ok;
                bases += data->numBases();
            }
        }
    }
    std::printf("seconds=%.6f files=%zu read=%zu bases=%zu\n", secondsSince(start), files.size(), ok, bases);
    return ok == files.size() ? 0 : 1;
}

enum class Floor { None, Stat, Head };

int getTypes(const std::vector<std::string>& files, Floor floor, bool withoutSources) {
    const bool statOnly = floor != Floor::None;
    Ovik::ModelFactory* factory = statOnly ? nullptr : &Ovik::GetModelFactory();
    if (factory && withoutSources)
        for (const char* name : {"FastqModelSource", "MMSAModelSource", "MSFModelSource",
                                 "NexusModelSource", "PHYModelSource", "XMLModelSource",
                                 "ZCompressedFileSource"})
            factory->removeSource(name);
    std::size_t classified = 0;
    auto start = Clock::now();
    for (const std::string& f : files) {
        if (statOnly) {
            struct stat st;
            const bool regular = ::stat(f.c_str(), &st) == 0 && S_ISREG(st.st_mode);
            if (regular && floor == Floor::Head) {
                static char head[32 * 1024];
                const int fd = ::open(f.c_str(), O_RDONLY | O_CLOEXEC);
                if (fd >= 0) {
                    classified += ::read(fd, head, sizeof head) >= 0;
                    ::close(fd);
                }
            } else {
                classified += regular;
            }
        } else {
            classified += !factory->getType(f.c_str()).empty();
        }
    }
    std::printf("seconds=%.6f files=%zu classified=%zu\n", secondsSince(start), files.size(), classified);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s read|load FILE | traces|iolib DIR... | gettype|gettype-own|stat|head DIR\n", argv[0]);
        return 2;
    }
    const std::string command = argv[1];
    try {
        if (command == "read")
            return readArchive(argv[2]);
        if (command == "load")
            return loadWhole(argv[2]);
        if (command == "traces" || command == "iolib")
            return readTraces(filesOf(argc, argv, 2), command == "iolib");
        if (command == "gettype" || command == "gettype-own" || command == "stat" || command == "head")
            return getTypes(filesOf(argc, argv, 2),
                            command == "stat" ? Floor::Stat : command == "head" ? Floor::Head : Floor::None,
                            command == "gettype-own");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", argv[0], e.what());
        return 1;
    }
    std::fprintf(stderr, "%s: unknown command %s\n", argv[0], command.c_str());
    return 2;
}

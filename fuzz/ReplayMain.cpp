// Runs a fuzz target over files without a fuzzing engine: each argument is a file, or a folder
// whose regular files are run in name order. Used where libFuzzer is not available (gcc), so that
// the targets and their regression inputs still build and run under CTest.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

bool runFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return false;
    }
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::fprintf(stderr, "running %s (%zu bytes)\n", path.c_str(), bytes.size());
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(&argc, &argv);
    int failures = 0;
    std::size_t ran = 0;
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] == '-')
            continue; // an engine option, meaningless here
        const std::filesystem::path arg(argv[i]);
        std::error_code error;
        if (std::filesystem::is_directory(arg, error)) {
            std::vector<std::filesystem::path> files;
            for (const auto& entry : std::filesystem::recursive_directory_iterator(arg, error))
                if (entry.is_regular_file())
                    files.push_back(entry.path());
            std::sort(files.begin(), files.end());
            for (const auto& file : files)
                failures += runFile(file) ? (++ran, 0) : 1;
        } else if (std::filesystem::exists(arg, error)) {
            failures += runFile(arg) ? (++ran, 0) : 1;
        }
        // A folder that does not exist (no regressions yet, no third-party data) is not an error.
    }
    std::fprintf(stderr, "%zu inputs run\n", ran);
    return failures == 0 ? 0 : 1;
}

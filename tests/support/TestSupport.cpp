#include "TestSupport.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace fs = std::filesystem;

namespace mftest {

std::string testdataDir() {
    const char* env = std::getenv("MODELFACTORY_TESTDATA");
    std::string dir = (env && *env) ? env : MF_DEFAULT_TESTDATA;
    std::error_code ec;
    return fs::is_directory(dir, ec) ? dir : std::string();
}

std::string testdataFile(const std::string& relative) {
    const std::string dir = testdataDir();
    return dir.empty() ? std::string() : dir + "/" + relative;
}

std::string fixturesDir() { return MF_FIXTURES_DIR; }

std::set<std::string> filesIn(const std::string& folder) {
    std::set<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        names.insert(it->path().filename().string());
    return names;
}

TempDir::TempDir() {
    std::random_device random;
    const fs::path base = fs::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path candidate = base / ("mftest-" + std::to_string(random()));
        std::error_code ec;
        if (fs::create_directory(candidate, ec)) {
            path_ = candidate.string();
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

std::string TempDir::file(const std::string& name) const { return path_ + "/" + name; }

std::string writeFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out)
        throw std::runtime_error("cannot write " + path);
    return path;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool fileExists(const std::string& path) {
    std::error_code ec;
    return fs::exists(path, ec);
}

std::string sequenceText(std::size_t size, unsigned seed) {
    std::string out;
    out.reserve(size);
    unsigned state = seed;
    while (out.size() < size) {
        state = state * 1103515245u + 12345u;
        out += (state >> 20) % 61 == 0 ? '\n' : "ACGT"[(state >> 16) & 3];
    }
    return out;
}

} // namespace mftest

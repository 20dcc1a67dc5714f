#include "FuzzSupport.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include <filesystem>
#include <stdlib.h>

namespace mffuzz {

namespace {

struct Scratch {
    std::string path;
    Scratch() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/mf-fuzz-XXXXXX";
        if (!mkdtemp(&pattern[0])) {
            std::perror("mkdtemp");
            std::abort();
        }
        path = pattern;
    }
    ~Scratch() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

} // namespace

const std::string& scratchDir() {
    static Scratch scratch;
    return scratch.path;
}

std::string writeInput(const std::string& name, const std::uint8_t* data, std::size_t size) {
    const std::string path = scratchDir() + "/" + name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    out.close();
    if (!out) {
        std::fprintf(stderr, "cannot write the scratch file %s\n", path.c_str());
        std::abort();
    }
    return path;
}

void require(bool condition, const char* what) {
    if (condition)
        return;
    std::fprintf(stderr, "contract broken: %s\n", what);
    std::abort();
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

} // namespace mffuzz

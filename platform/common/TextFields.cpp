// Text helpers shared by every writer of names and one-line fields.
#include "contracts/Common.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

namespace cmn {

namespace {
bool isControl(unsigned char c) { return c < 0x20 || c == 0x7F; }
bool isBlank(unsigned char c) { return c == ' ' || isControl(c); }
} // namespace

std::string oneLineText(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (isControl(static_cast<unsigned char>(c)))
            c = ' ';
    return out;
}

std::string inputExcerpt(std::string_view text) { return inputExcerpt(text, text.size()); }

std::string inputExcerpt(std::string_view head, std::size_t size) {
    // The few bytes of "... (N bytes)" cost less than a message a reader cannot act on.
    if (size <= kExcerptBytes + 16 && head.size() >= size)
        return std::string(head.substr(0, size));
    std::size_t cut = std::min(kExcerptBytes, head.size());
    // Back to the start of a UTF-8 character (at most three continuation bytes).
    for (int i = 0; i < 3 && cut > 0 && cut < head.size() &&
                    (static_cast<unsigned char>(head[cut]) & 0xC0) == 0x80;
         ++i)
        --cut;
    return std::string(head.substr(0, cut)) + "... (" + std::to_string(size) + " bytes)";
}

std::string singleTokenName(std::string_view name, std::size_t index) {
    std::size_t b = 0, e = name.size();
    while (b < e && isBlank(static_cast<unsigned char>(name[b])))
        ++b;
    while (e > b && isBlank(static_cast<unsigned char>(name[e - 1])))
        --e;
    std::string out(name.substr(b, e - b));
    for (char& c : out)
        if (isBlank(static_cast<unsigned char>(c)))
            c = '_';
    if (out.empty())
        out = "seq" + std::to_string(index);
    return out;
}

struct UniqueNames::State {
    std::unordered_set<std::string> used;
    // The next suffix to try for a base name: repeated names never rescan the numbers given.
    std::unordered_map<std::string, std::size_t> next;
};

UniqueNames::UniqueNames() : state_(new State) {}
UniqueNames::~UniqueNames() { delete state_; }

std::string UniqueNames::claim(const std::string& name, std::size_t maxLength) {
    std::string base = name.substr(0, maxLength);
    if (state_->used.insert(base).second)
        return base;
    std::size_t& n = state_->next.emplace(base, 2).first->second;
    for (;; ++n) {
        const std::string suffix = "_" + std::to_string(n);
        std::string candidate =
            maxLength == std::string::npos || suffix.size() >= maxLength
                ? base + suffix
                : base.substr(0, maxLength - suffix.size()) + suffix;
        if (state_->used.insert(candidate).second) {
            ++n;
            return candidate;
        }
    }
}

} // namespace cmn
